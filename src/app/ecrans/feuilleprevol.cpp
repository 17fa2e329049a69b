#include "feuilleprevol.h"
#include "choixenregistrement.h"

#include "app/ui.h"
#include "ui/ecrans/style.h"
#include "platform/preferences.h"
#include "call/sessionappel.h"
#include "model/store.h"
#include "platform/coffre.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace vd::app {

namespace {

QString nomIcone(const QString& symbole)
{
    if (symbole == QLatin1String("mic.slash") || symbole == QLatin1String("rectangle.dashed.badge.record") ||
        symbole == QLatin1String("arrow.clockwise"))
        return symbole;
    if (symbole == QLatin1String("headphones"))
        return QStringLiteral("casque");
    return QStringLiteral("micro");
}

} // namespace

FeuillePreVol::FeuillePreVol(Contexte& ctx, call::ConfigAppel config, SondeAudio& sonde, QWidget* parent)
    : QDialog(parent), ctx_(ctx), config_(std::move(config)), sonde_(sonde)
{
    setWindowTitle(QStringLiteral("Avant l'appel"));
    setModal(true);
    setMinimumWidth(560);
    setObjectName(QStringLiteral("feuillePreVol"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(28, 24, 28, 24);
    l->setSpacing(14);
    l->addWidget(style::etiquette(QStringLiteral("Prêt à décrocher ?"), QStringLiteral("titreSection"), this));
    reel_ = new QRadioButton(QStringLiteral("Appel réel : votre micro et le son de l'ordinateur"), this);
    demo_ = new QRadioButton(QStringLiteral("Appel simulé : une conversation de démonstration"), this);
    l->addWidget(reel_);
    l->addWidget(demo_);
    (config_.source == QLatin1String("demo") ? demo_ : reel_)->setChecked(true);
    connect(reel_, &QRadioButton::toggled, this, [this] { reconstruire(); });
    enregistrement_ = new ChoixEnregistrement(ctx_.store->etat().reglages.enregistrement, config_.enregistrer,
                                              config_.cibleEnregistrement, {}, this);
    l->addWidget(enregistrement_);
    connect(enregistrement_, &ChoixEnregistrement::change, this, [this] { reconstruire(); });
    auto* conteneur = new QWidget(this);
    encart_ = new QVBoxLayout(conteneur);
    encart_->setContentsMargins(0, 0, 0, 0);
    encart_->setSpacing(10);
    l->addWidget(conteneur);
    auto* bas = new QHBoxLayout;
    bas->addStretch(1);
    auto* annuler = style::bouton(QStringLiteral("Annuler"), {}, this);
    connect(annuler, &QPushButton::clicked, this, &QDialog::reject);
    bas->addWidget(annuler);
    demarrer_ = style::bouton(QStringLiteral("Démarrer l'appel"), QStringLiteral("primaire"), this);
    demarrer_->setDefault(true);
    connect(demarrer_, &QPushButton::clicked, this, &FeuillePreVol::demarrer);
    bas->addWidget(demarrer_);
    l->addLayout(bas);
    connect(&demarrage_, &DemarrageAppel::change, this, &FeuillePreVol::reconstruire);
    if (ctx_.session) {
        connect(ctx_.session, &call::SessionAppel::etatChange, this, [this] {
            if (!attenteIssue_)
                return;
            const call::EtatSession e = ctx_.session->etat();
            if (e == call::EtatSession::enCours || e == call::EtatSession::pause) {
                attenteIssue_ = false;
                demarrage_.reussir();
                Q_EMIT appelDemarre();
                accept();
            } else if (e == call::EtatSession::inactif) {
                attenteIssue_ = false;
                demarrage_.echouer(ctx_.session->erreurTexte());
            }
        });
    }
    sonder();
}

QString FeuillePreVol::source() const
{
    return demo_->isChecked() ? QStringLiteral("demo") : QStringLiteral("micro+mac");
}

void FeuillePreVol::choisirSource(const QString& source)
{
    (source == QLatin1String("demo") ? demo_ : reel_)->setChecked(true);
    reconstruire();
}

void FeuillePreVol::sonder()
{
    audio_ = sonde_.sonder();
    reconstruire();
}

bool FeuillePreVol::cleTranscriptionDisponible() const
{
    const QString moteur = ctx_.store->etat().reglages.transcription.moteur == QLatin1String("deepgram") ? QStringLiteral("deepgram")
                                                                                                          : QStringLiteral("soniox");
    const auto cle = platform::Coffre::instance().lire(moteur);
    return cle && !cle->trimmed().isEmpty();
}

void FeuillePreVol::reconstruire()
{
    style::vider(encart_);
    const bool demo = source() == QLatin1String("demo");
    const auto erreur = demarrage_.erreurAMontrer();
    enregistrement_->setVisible(!demo);
    autorisations_ = AutorisationsPreVol::construire(source(), audio_.micro, audio_.ecran, !demo && enregistrement_->enregistrer(), erreur);
    auto ajouterLigne = [this](const QString& icone, const QString& titre, const QString& texte, const QString& role) {
        auto* cadre = style::carte(role);
        auto* h = new QHBoxLayout(cadre);
        h->setContentsMargins(14, 12, 14, 12);
        h->setSpacing(12);
        auto* ic = new QLabel(cadre);
        ic->setPixmap(style::icone(nomIcone(icone), style::couleur::texte, 20).pixmap(20, 20));
        h->addWidget(ic, 0, Qt::AlignTop);
        auto* v = new QVBoxLayout;
        v->setSpacing(2);
        if (!titre.isEmpty())
            v->addWidget(style::etiquette(titre, QStringLiteral("titreCarte"), cadre));
        auto* t = style::etiquette(texte, {}, cadre);
        t->setWordWrap(true);
        v->addWidget(t);
        h->addLayout(v, 1);
        encart_->addWidget(cadre);
        return v;
    };
    for (const auto& ligne : autorisations_.lignes)
        ajouterLigne(ligne.icone, ligne.titre, ligne.texte, QStringLiteral("encartAmbre"));
    if (!autorisations_.boutons.isEmpty()) {
        auto* h = new QHBoxLayout;
        for (const auto& b : autorisations_.boutons) {
            auto* bouton = style::bouton(b.libelle);
            const AutorisationsPreVol::Action action = b.action;
            connect(bouton, &QPushButton::clicked, this, [this, action] { agir(action); });
            h->addWidget(bouton);
        }
        h->addStretch(1);
        encart_->addLayout(h);
    }
    // A demonstration has no permission lines: its start error is shown as such.
    const std::optional<QString> bloquant = autorisations_.bloquant ? autorisations_.bloquant : (demo ? erreur : std::nullopt);
    if (bloquant) {
        auto* t = style::etiquette(*bloquant, QStringLiteral("erreur"));
        t->setWordWrap(true);
        encart_->addWidget(t);
        demarrage_.erreurVue();
    }
    if (demo) {
        QString prenom = QStringLiteral("votre prospect");
        bool avecContact = false;
        if (config_.contactId)
            if (const model::Contact* c = ctx_.store->etat().contact(*config_.contactId)) {
                avecContact = true;
                if (!c->prenom.isEmpty())
                    prenom = c->prenom;
            }
        ajouterLigne(QStringLiteral("info"), {}, TextesPreVol::demo(prenom, avecContact), QStringLiteral("encart"));
    } else {
        ajouterLigne(QStringLiteral("headphones"), {}, TextesPreVol::casque, QStringLiteral("carteGrise"));
        if (!cleTranscriptionDisponible()) {
            QVBoxLayout* v = ajouterLigne(QStringLiteral("info"), {}, TextesPreVol::sansCle, QStringLiteral("encart"));
            auto* reglages = style::bouton(TextesPreVol::ouvrirReglages, QStringLiteral("lien"));
            connect(reglages, &QPushButton::clicked, this, [this] {
                reject();
                ctx_.navigation->aller(Ecran::de(Ecran::Genre::reglages));
            });
            v->addWidget(reglages, 0, Qt::AlignLeft);
        }
    }
    demarrer_->setEnabled(!demarrage_.enCours() && (demo || autorisations_.lignes.isEmpty()));
    demarrer_->setText(demarrage_.enCours() ? TextesPreVol::ouverture : QStringLiteral("Démarrer l'appel"));
    adjustSize();
}

void FeuillePreVol::agir(const AutorisationsPreVol::Action& a)
{
    using G = AutorisationsPreVol::Action::Genre;
    switch (a.genre) {
    case G::demanderMicro:
        sonder();
        return;
    case G::ouvrir: {
        // The sound settings of the desktop, where inputs and outputs are chosen.
        bool ouvert = false;
        for (const auto& [programme, args] : {std::pair{QStringLiteral("gnome-control-center"), QStringList{QStringLiteral("sound")}},
                                              std::pair{QStringLiteral("pavucontrol"), QStringList{}}})
            if (!QStandardPaths::findExecutable(programme).isEmpty() && QProcess::startDetached(programme, args)) {
                ouvert = true;
                break;
            }
        if (!ouvert)
            ctx_.toasts->montrer(QStringLiteral("Ouvrez les réglages du son de votre ordinateur, puis revenez ici."), Toasts::Toast::Genre::info);
        return;
    }
    case G::relancer:
        if (!lancerRelance(QCoreApplication::applicationPid(), QCoreApplication::applicationFilePath())) {
            demarrage_.echouer(TextesPreVol::relanceImpossible);
            return;
        }
        if (ctx_.preferences)
            ctx_.preferences->definir(QStringLiteral("vd.demarrage.relanceDiscrete"), true);
        if (ctx_.quitter)
            ctx_.quitter();
        return;
    }
}

void FeuillePreVol::demarrer()
{
    if (!ctx_.session)
        return;
    const call::ConfigAppel cfg = configChoisie();
    if (cfg.source != QLatin1String("demo")) {
        // The target chosen here is offered first next time.
        const model::CibleEnregistrement cible = *cfg.cibleEnregistrement;
        if (ctx_.store->etat().reglages.enregistrement.cible != cible || !ctx_.store->etat().reglages.enregistrement.choisi)
            ctx_.store->modifier([&](model::Etat& etat) {
                etat.reglages.enregistrement.cible = cible;
                etat.reglages.enregistrement.choisi = true;
            });
    }
    demarrage_.commencer();
    attenteIssue_ = true;
    if (auto refus = ctx_.session->demarrer(cfg)) {
        attenteIssue_ = false;
        demarrage_.echouer(*refus);
        return;
    }
    // A start that settled at once (demonstration, or a failure before any wait).
    const call::EtatSession e = ctx_.session->etat();
    if (attenteIssue_ && (e == call::EtatSession::enCours || e == call::EtatSession::pause)) {
        attenteIssue_ = false;
        demarrage_.reussir();
        Q_EMIT appelDemarre();
        accept();
    } else if (attenteIssue_ && e == call::EtatSession::inactif) {
        attenteIssue_ = false;
        demarrage_.echouer(ctx_.session->erreurTexte());
    }
}

call::ConfigAppel FeuillePreVol::configChoisie() const
{
    call::ConfigAppel cfg = config_;
    cfg.source = source();
    if (cfg.source != QLatin1String("demo")) {
        cfg.enregistrer = enregistrement_->enregistrer();
        cfg.cibleEnregistrement = enregistrement_->cible();
    }
    return cfg;
}

QStringList FeuillePreVol::textes() const
{
    QStringList t;
    for (QLabel* l : findChildren<QLabel*>())
        if (!l->text().isEmpty())
            t << l->text();
    for (QPushButton* b : findChildren<QPushButton*>())
        t << b->text();
    return t;
}

} // namespace vd::app
