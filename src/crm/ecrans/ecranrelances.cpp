#include "ecranrelances.h"

#include "dialogueetape.h"
#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "crm/ecriturerelances.h"
#include "crm/relances.h"
#include "model/store.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QPlainTextEdit>

namespace vd::crm {

namespace st = ui::style;

namespace {

// Settings of this computer's salesperson when no team account is signed in.
const QString compteLocal = QStringLiteral("local");

QLabel* texte(const QString& t, const QString& role, QWidget* parent)
{
    QLabel* l = st::etiquette(t, role, parent);
    l->setWordWrap(true);
    return l;
}

QString apercu(const QString& message)
{
    QString m = message.simplified();
    return m.size() > 280 ? m.left(279) + QStringLiteral("…") : m;
}

} // namespace

EcranRelances::EcranRelances(ui::Contexte& ctx, QWidget* parent)
    : EcranBase(ctx, parent), ouvreur_(std::make_unique<cloud::OuvreurSysteme>())
{
    relances_ = std::make_unique<Relances>(*ctx_.store, ai::Moteur::instance(), ouvreur_.get(),
                                           [](const QString& t) { QGuiApplication::clipboard()->setText(t); });
    corps_ = pageDefilante(QMargins(0, 8, 16, 24), 16);
    // One refill per burst of changes, only while the page is shown, and only
    // when the follow-ups themselves changed (a call saved does not rebuild it).
    attente_ = new QTimer(this);
    attente_->setSingleShot(true);
    attente_->setInterval(delaiMs);
    connect(attente_, &QTimer::timeout, this, [this] {
        if (!isVisible())
            return;
        // The settings page is small: it always follows. The daily list only when its records moved.
        if (!reglages_ && empreinte() == empreinte_ && !ecritureChangee_)
            return;
        remplir();
    });
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            attente_->start();
    });
    if (ctx_.ecritureRelances)
        connect(ctx_.ecritureRelances, &EcritureRelances::change, this, [this] {
            ecritureChangee_ = true;
            if (isVisible())
                attente_->start();
        });
}

size_t EcranRelances::empreinte() const
{
    // What the page shows comes from the contacts' follow-ups (and their names):
    // every change to one moves its contact's majLe. Cheap beside a rebuild.
    size_t h = qHash(relances_->aujourdhui());
    for (const model::Contact& c : ctx_.store->etat().contacts)
        if (c.relance)
            h = qHashMulti(h, c.id, c.majLe, c.nomComplet());
    return h;
}

QString EcranRelances::compte() const
{
    return ctx_.compteConnecte ? ctx_.compteConnecte().value_or(compteLocal) : compteLocal;
}

EcranRelances::~EcranRelances() = default;

QString EcranRelances::titre() const { return reglages_ ? QStringLiteral("Réglages des relances") : QStringLiteral("Relances"); }

std::optional<ui::EcranBase::Action> EcranRelances::actionPrincipale() const
{
    ui::Navigation* nav = ctx_.navigation;
    if (reglages_)
        return Action{QStringLiteral("Relances du jour"), [nav] { nav->aller(ui::Ecran::de(ui::Ecran::Genre::relances)); }};
    return Action{QStringLiteral("Réglages"),
                  [nav] { nav->aller(ui::Ecran{ui::Ecran::Genre::relances, QStringLiteral("reglages")}); }};
}

void EcranRelances::afficher(const ui::Ecran& e)
{
    reglages_ = e.charge.value_or(QString()) == QLatin1String("reglages");
    remplir();
    Q_EMIT enTeteChange();
}

void EcranRelances::remplir()
{
    empreinte_ = empreinte();
    ecritureChangee_ = false;
    st::vider(corps_);
    if (reglages_)
        remplirReglages();
    else
        remplirListe();
    corps_->addStretch(1);
}

void EcranRelances::montrer(const QString& message, bool ok)
{
    if (ctx_.toasts)
        ctx_.toasts->montrer(message, ok ? ui::Toasts::Toast::Genre::ok : ui::Toasts::Toast::Genre::erreur);
}

void EcranRelances::remplirListe()
{
    const QJsonArray lignes = relances_->duJour(relances_->aujourdhui());
    corps_->addWidget(st::etiquette(QStringLiteral("Relances du jour"), QStringLiteral("titreSection"), this));
    corps_->addWidget(texte(QStringLiteral("Rien ne part tout seul : le jour venu, le message vous attend dans Relances du jour."),
                            QStringLiteral("secondaire"), this));
    if (lignes.isEmpty()) {
        QFrame* vide = st::carte(QStringLiteral("carte"), this);
        auto* l = new QVBoxLayout(vide);
        l->setContentsMargins(16, 14, 16, 14);
        l->addWidget(st::etiquette(QStringLiteral("Aucune relance à envoyer aujourd'hui."), QStringLiteral("titreCarte"), vide));
        l->addWidget(texte(QStringLiteral("Après un appel analysé, activez la relance proposée sur la fiche de l'appel : "
                                          "ses messages arrivent ici le jour venu."),
                           QStringLiteral("secondaire"), vide));
        corps_->addWidget(vide);
        return;
    }
    for (const QJsonValue& v : lignes) {
        const QJsonObject r = v.toObject();
        const QString contactId = r.value(QLatin1String("contactId")).toString();
        const QString etapeId = r.value(QLatin1String("etapeId")).toString();
        QFrame* c = st::carte(QStringLiteral("carte"), this);
        auto* l = new QVBoxLayout(c);
        l->setContentsMargins(16, 14, 16, 14);
        l->setSpacing(6);
        auto* haut = new QHBoxLayout;
        haut->addWidget(st::etiquette(r.value(QLatin1String("nom")).toString(), QStringLiteral("titreCarte"), c));
        if (r.value(QLatin1String("enRetard")).toBool())
            haut->addWidget(st::etiquette(QStringLiteral("En retard"), QStringLiteral("chipAmbre"), c));
        haut->addWidget(st::etiquette(QStringLiteral("J+%1 · %2").arg(r.value(QLatin1String("jour")).toInt())
                                          .arg(st::dateCourte(r.value(QLatin1String("date")).toString(), false)),
                                      QStringLiteral("chipGris"), c));
        haut->addStretch(1);
        l->addLayout(haut);
        const QString objet = r.value(QLatin1String("objet")).toString();
        if (!objet.isEmpty())
            l->addWidget(texte(objet, QStringLiteral("vous"), c));
        const QString message = r.value(QLatin1String("message")).toString();
        const QString cle = EcritureRelances::cleEtape(contactId, etapeId);
        const bool enCours = message.isEmpty() && ctx_.ecritureRelances && ctx_.ecritureRelances->enCours().contains(cle);
        const QString erreur = message.isEmpty() && ctx_.ecritureRelances ? ctx_.ecritureRelances->erreurs().value(cle) : QString();
        l->addWidget(texte(!message.isEmpty() ? apercu(message)
                           : enCours          ? QStringLiteral("Quillo écrit ce message…")
                                              : QStringLiteral("Écrite la veille de l'envoi"),
                           QStringLiteral("secondaire"), c));
        if (!erreur.isEmpty())
            l->addWidget(texte(erreur, QStringLiteral("erreur"), c));
        auto* actions = new QHBoxLayout;
        struct Bouton {
            QString libelle, par, aide;
        };
        const QString canal = r.value(QLatin1String("canal")).toString();
        const QList<Bouton> boutons = {
            {canal == QLatin1String("whatsapp") ? QStringLiteral("WhatsApp") : QStringLiteral("Email"),
             canal == QLatin1String("whatsapp") ? QStringLiteral("whatsapp") : QStringLiteral("email"),
             canal == QLatin1String("whatsapp") ? QStringLiteral("Ouvre WhatsApp avec le message prérempli")
                                                : QStringLiteral("Ouvre votre messagerie avec l'objet et le message préremplis")},
            {QStringLiteral("Copier"), QStringLiteral("copier"), QStringLiteral("Copie le message, à coller où vous voulez")},
            {QStringLiteral("Marquer envoyée"), QStringLiteral("note"),
             QStringLiteral("Vous l'avez envoyée autrement : l'étape est cochée et l'historique la garde")},
        };
        for (qsizetype i = 0; i < boutons.size(); ++i) {
            const Bouton& b = boutons.at(i);
            QPushButton* p = st::bouton(b.libelle, i == 0 ? QStringLiteral("primaire") : QStringLiteral("secondaire"), c);
            p->setToolTip(b.aide);
            p->setEnabled(!message.isEmpty() || b.par == QLatin1String("note"));
            const QString par = b.par;
            connect(p, &QPushButton::clicked, this, [this, contactId, etapeId, par] { envoyer(contactId, etapeId, par); });
            actions->addWidget(p);
        }
        if (message.isEmpty() && !enCours) {
            if (!erreur.isEmpty() && ctx_.ecritureRelances) {
                QPushButton* p = st::bouton(QStringLiteral("Réessayer"), QStringLiteral("lien"), c);
                EcritureRelances* ecriture = ctx_.ecritureRelances;
                connect(p, &QPushButton::clicked, this, [ecriture, contactId, etapeId] { ecriture->ecrire(contactId, etapeId); });
                actions->addWidget(p);
            }
            QPushButton* p = st::bouton(QStringLiteral("L'écrire moi-même"), QStringLiteral("lien"), c);
            const QJsonObject etape{{QStringLiteral("id"), etapeId}, {QStringLiteral("objet"), objet},
                                    {QStringLiteral("date"), r.value(QLatin1String("date")).toString()}, {QStringLiteral("canal"), canal}};
            connect(p, &QPushButton::clicked, this, [this, contactId, etape] { ecrireMoiMeme(contactId, etape); });
            actions->addWidget(p);
        }
        actions->addStretch(1);
        l->addLayout(actions);
        corps_->addWidget(c);
    }
}

void EcranRelances::ecrireMoiMeme(const QString& contactId, const QJsonObject& etape)
{
    auto* d = new DialogueEtape(etape, true, this);
    d->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<EcranRelances> moi(this);
    connect(d, &QDialog::accepted, this, [moi, d, contactId, etape] {
        if (!moi)
            return;
        const QJsonObject champs = d->champs();
        if (d->message()->toPlainText().trimmed().isEmpty()) {
            moi->montrer(QStringLiteral("Écrivez le message avant de l'enregistrer."), false);
            return;
        }
        auto r = moi->relances_->modifierEtape(CibleRelance{contactId, {}}, etape.value(QLatin1String("id")).toString(), champs);
        moi->montrer(r ? QStringLiteral("Relance enregistrée") : r.erreur(), r.ok());
    });
    d->open();
}

void EcranRelances::envoyer(const QString& contactId, const QString& etapeId, const QString& par)
{
    auto r = relances_->envoyer(contactId, etapeId, par);
    if (!r) {
        montrer(r.erreur(), false);
        return;
    }
    if (!ctx_.toasts)
        return;
    QPointer<EcranRelances> moi(this);
    ctx_.toasts->montrer(r.valeur(), ui::Toasts::Toast::Genre::ok, QStringLiteral("Annuler"), [moi, contactId, etapeId] {
        if (!moi)
            return;
        auto a = moi->relances_->annulerEnvoi(contactId, etapeId);
        moi->montrer(a ? QStringLiteral("L'étape revient à venir") : a.erreur(), a.ok());
    });
}

void EcranRelances::remplirReglages()
{
    const QJsonObject rg = relances_->reglages();
    auto carte = [this](const QString& titre, const QString& aide) {
        QFrame* c = st::carte(QStringLiteral("carte"), this);
        auto* l = new QVBoxLayout(c);
        l->setContentsMargins(16, 14, 16, 14);
        l->setSpacing(8);
        l->addWidget(st::etiquette(titre, QStringLiteral("titreCarte"), c));
        if (!aide.isEmpty())
            l->addWidget(texte(aide, QStringLiteral("secondaire"), c));
        corps_->addWidget(c);
        return std::pair{c, l};
    };
    auto ligne = [](QFrame* c, QVBoxLayout* l, QLineEdit* champ, const QString& libelle) {
        auto* h = new QHBoxLayout;
        h->addWidget(champ, 1);
        QPushButton* b = st::bouton(libelle, QStringLiteral("primaire"), c);
        h->addWidget(b);
        l->addLayout(h);
        return b;
    };

    {
        auto [c, l] = carte(QStringLiteral("Rythme"),
                            QStringLiteral("Les jours après l'appel, séparés par des virgules. Ensuite, une relance tous les 3 mois."));
        QStringList jours;
        for (const QJsonValue& j : rg.value(QLatin1String("rythme")).toArray())
            jours << QString::number(j.toInt());
        auto* champ = new QLineEdit(jours.join(QStringLiteral(", ")), c);
        QPushButton* b = ligne(c, l, champ, QStringLiteral("Enregistrer"));
        connect(b, &QPushButton::clicked, this, [this, champ] {
            auto r = relances_->enregistrerRythme(champ->text());
            montrer(r ? r.valeur() : r.erreur(), r.ok());
        });
        QPushButton* conseille = st::bouton(QStringLiteral("Rétablir le rythme conseillé"), QStringLiteral("lien"), c);
        connect(conseille, &QPushButton::clicked, this, [this] {
            auto r = relances_->retablirRythme();
            montrer(r ? r.valeur() : r.erreur(), r.ok());
        });
        l->addWidget(conseille, 0, Qt::AlignLeft);
        l->addWidget(texte(QStringLiteral("Un rythme plus serré après un closing, plus long après une prospection"),
                           QStringLiteral("legende"), c));
    }
    const QString compte = this->compte();
    const QJsonObject moi = rg.value(QLatin1String("commerciaux")).toObject().value(compte).toObject();
    {
        auto [c, l] = carte(QStringLiteral("Lien de prise de rendez-vous"),
                            QStringLiteral("Quand un prospect répond « Intéressé », Quillo l'ajoute au message pour caler le rendez-vous."));
        auto* champ = new QLineEdit(moi.value(QLatin1String("lienRdv")).toString(), c);
        champ->setPlaceholderText(QStringLiteral("https://rdv.exemple.fr/votre-nom"));
        QPushButton* b = ligne(c, l, champ, QStringLiteral("Enregistrer"));
        connect(b, &QPushButton::clicked, this, [this, champ, compte] {
            auto r = relances_->enregistrerLienRdv(compte, champ->text());
            montrer(r ? r.valeur() : r.erreur(), r.ok());
        });
        auto* auto_ = new QCheckBox(QStringLiteral("Activer automatiquement après chaque analyse"), c);
        auto_->setChecked(moi.value(QLatin1String("activationAuto")).toBool());
        connect(auto_, &QCheckBox::toggled, this, [this, compte](bool oui) { (void)relances_->activationAuto(compte, oui); });
        l->addWidget(auto_);
        l->addWidget(texte(QStringLiteral("Sinon, vous activez les relances d'un clic sur la fiche de l'appel. Les messages ne partent jamais seuls."),
                           QStringLiteral("legende"), c));
    }
    {
        auto [c, l] = carte(QStringLiteral("Nouveautés de l'offre"),
                            QStringLiteral("Une fonction sortie, un nouveau client, un prix revu : notez-le ici, Quillo le glisse dans la prochaine relance lointaine."));
        for (const QJsonValue& v : rg.value(QLatin1String("nouveautes")).toArray()) {
            const QJsonObject n = v.toObject();
            auto* h = new QHBoxLayout;
            h->addWidget(texte(n.value(QLatin1String("texte")).toString(), QString(), c), 1);
            QPushButton* retirer = st::bouton(QStringLiteral("Retirer"), QStringLiteral("lien"), c);
            retirer->setToolTip(QStringLiteral("Retirer cette nouveauté"));
            const QString id = n.value(QLatin1String("id")).toString();
            connect(retirer, &QPushButton::clicked, this, [this, id] {
                auto r = relances_->retirerNouveaute(id);
                montrer(r ? r.valeur() : r.erreur(), r.ok());
            });
            h->addWidget(retirer);
            l->addLayout(h);
        }
        auto* champ = new QLineEdit(c);
        champ->setPlaceholderText(QStringLiteral("Par exemple : export des rapports en PDF"));
        QPushButton* b = ligne(c, l, champ, QStringLiteral("Ajouter"));
        connect(b, &QPushButton::clicked, this, [this, champ] {
            auto r = relances_->ajouterNouveaute(champ->text());
            montrer(r ? r.valeur() : r.erreur(), r.ok());
        });
    }
    {
        auto [c, l] = carte(QStringLiteral("Bibliothèque de ressources"), QStringLiteral("Un titre, un lien et quand l'utiliser."));
        for (const QJsonValue& v : rg.value(QLatin1String("ressources")).toArray()) {
            const QJsonObject x = v.toObject();
            l->addWidget(texte(x.value(QLatin1String("titre")).toString() + QStringLiteral(" — ") + x.value(QLatin1String("lien")).toString(),
                               QString(), c));
        }
        auto* titre = new QLineEdit(c);
        titre->setPlaceholderText(QStringLiteral("Titre"));
        auto* lien = new QLineEdit(c);
        lien->setPlaceholderText(QStringLiteral("https://…"));
        auto* quand = new QLineEdit(c);
        quand->setPlaceholderText(QStringLiteral("Quand l'utiliser"));
        auto* h = new QHBoxLayout;
        h->addWidget(titre, 1);
        h->addWidget(lien, 2);
        h->addWidget(quand, 2);
        l->addLayout(h);
        QPushButton* b = st::bouton(QStringLiteral("Ajouter"), QStringLiteral("primaire"), c);
        connect(b, &QPushButton::clicked, this, [this, titre, lien, quand] {
            auto r = relances_->ajouterRessource(titre->text(), lien->text(), quand->text());
            montrer(r ? r.valeur() : r.erreur(), r.ok());
        });
        l->addWidget(b, 0, Qt::AlignLeft);
    }
}

} // namespace vd::crm
