#include "ecrananalyse.h"

#include "app/ui.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "ai/moteur.h"
#include "call/sessionappel.h"
#include "model/store.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vd::app {

EcranAnalyse::EcranAnalyse(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 24);
    l->setSpacing(16);
    contact_ = style::etiquette({}, QStringLiteral("titreSection"), this);
    l->addWidget(contact_);
    auto* haut = new QHBoxLayout;
    haut->setSpacing(16);
    auto* carteEtapes = style::carte(QStringLiteral("carte"), this);
    auto* ce = new QVBoxLayout(carteEtapes);
    ce->setContentsMargins(20, 16, 20, 16);
    ce->addWidget(style::etiquette(QStringLiteral("Quillo analyse votre appel"), QStringLiteral("titreCarte"), carteEtapes));
    etat_ = style::etiquette({}, QStringLiteral("secondaire"), carteEtapes);
    etat_->setWordWrap(true);
    ce->addWidget(etat_);
    etapes_ = new QVBoxLayout;
    etapes_->setSpacing(6);
    ce->addLayout(etapes_);
    erreur_ = style::etiquette({}, QStringLiteral("erreur"), carteEtapes);
    erreur_->setWordWrap(true);
    ce->addWidget(erreur_);
    auto* boutons = new QHBoxLayout;
    voir_ = style::bouton(QStringLiteral("Voir l'analyse"), QStringLiteral("primaire"), carteEtapes);
    voir_->setObjectName(QStringLiteral("voirAnalyse"));
    reessayer_ = style::bouton(QStringLiteral("Relancer l'analyse"), {}, carteEtapes);
    boutons->addWidget(voir_);
    boutons->addWidget(reessayer_);
    boutons->addStretch(1);
    ce->addLayout(boutons);
    ce->addStretch(1);
    haut->addWidget(carteEtapes, 1);
    auto* carteRecap = style::carte(QStringLiteral("carte"), this);
    recap_ = new QVBoxLayout(carteRecap);
    recap_->setContentsMargins(20, 16, 20, 16);
    haut->addWidget(carteRecap, 1);
    l->addLayout(haut);
    l->addStretch(1);

    connect(voir_, &QPushButton::clicked, this, [this] { ctx_.navigation->aller(Ecran::ficheAppel(appelId_)); });
    connect(reessayer_, &QPushButton::clicked, this, [this] {
        if (ctx_.analyser)
            ctx_.analyser(appelId_);
        rafraichir();
    });
    sondage_ = new QTimer(this);
    sondage_->setInterval(300);
    connect(sondage_, &QTimer::timeout, this, &EcranAnalyse::rafraichir);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            rafraichir();
    });
    if (ctx_.session)
        connect(ctx_.session, &call::SessionAppel::syntheseFinChange, this, [this] {
            if (isVisible())
                rafraichir();
        });
}

void EcranAnalyse::afficher(const Ecran& e)
{
    appelId_ = e.charge.value_or(QString());
    signature_.clear();
    rafraichir();
}

void EcranAnalyse::rafraichir()
{
    const model::Etat& etat = ctx_.store->etat();
    const model::Appel* a = etat.appel(appelId_);
    const auto suivi = ctx_.suiviAnalyse ? ctx_.suiviAnalyse(appelId_) : std::nullopt;
    const bool analyse = a && a->analyse;
    const bool fini = analyse && (!suivi || suivi->fini);
    const std::optional<QString> erreur = suivi && suivi->erreur ? suivi->erreur : (a && !analyse && a->erreur ? a->erreur : std::nullopt);
    const int etape = suivi ? suivi->etape : (analyse ? 99 : 0);
    const std::optional<call::SyntheseFin> synthese = ctx_.session ? ctx_.session->syntheseFin() : std::nullopt;
    const bool syntheseIci = synthese && synthese->appelId == appelId_;
    const QString sig = QStringLiteral("%1|%2|%3|%4|%5").arg(bool(a)).arg(fini).arg(erreur.value_or(QString())).arg(etape)
                            .arg(syntheseIci ? QString::fromUtf8(QJsonDocument(call::versJson(*synthese)).toJson(QJsonDocument::Compact)) : QString());
    const bool attente = a && !fini && !erreur;
    if (attente && isVisible())
        sondage_->start();
    else
        sondage_->stop();
    if (sig == signature_)
        return;
    signature_ = sig;

    contact_->setText(a ? libelles::nomContact(etat, *a) : QStringLiteral("Appel introuvable"));
    etat_->setText(!a ? QStringLiteral("Cet appel n'existe plus.")
                   : fini ? QStringLiteral("L'analyse est prête.")
                   : erreur ? QString()
                   : ctx_.suiviAnalyse ? QStringLiteral("Cela prend d'habitude moins d'une minute. Vous pouvez continuer à travailler : l'analyse se range dans la fiche de l'appel.")
                                       : QStringLiteral("L'analyse de cet appel n'a pas encore été faite."));
    erreur_->setText(erreur.value_or(QString()));
    erreur_->setVisible(bool(erreur));
    voir_->setVisible(bool(a));
    voir_->setText(fini ? QStringLiteral("Voir l'analyse") : QStringLiteral("Ouvrir la fiche de l'appel"));
    reessayer_->setVisible(a && erreur && ctx_.analyser);

    style::vider(etapes_);
    const QJsonArray noms = ai::Moteur::instance().donnee(QStringLiteral("ETAPES_ANALYSE")).toArray();
    for (int i = 0; i < noms.size(); ++i) {
        const bool faite = fini || i < etape;
        const bool courante = !fini && !erreur && i == etape;
        auto* h = new QHBoxLayout;
        auto* puce = style::etiquette(faite ? QStringLiteral("✓") : (courante ? QStringLiteral("•") : QStringLiteral("·")),
                                      faite ? QStringLiteral("succes") : QStringLiteral("legende"));
        puce->setFixedWidth(16);
        h->addWidget(puce);
        h->addWidget(style::etiquette(noms.at(i).toString(), courante ? QStringLiteral("titreCarte") : (faite ? QString() : QStringLiteral("secondaire"))), 1);
        etapes_->addLayout(h);
    }

    style::vider(recap_);
    recap_->addWidget(style::etiquette(QStringLiteral("Récap express"), QStringLiteral("titreCarte")));
    if (syntheseIci && synthese->recap) {
        for (const QString& p : synthese->recap->points) {
            auto* l = style::etiquette(QStringLiteral("• ") + p);
            l->setWordWrap(true);
            recap_->addWidget(l);
        }
        if (!synthese->recap->prochaineEtape.isEmpty()) {
            auto* l = style::etiquette(QStringLiteral("Prochaine étape : ") + synthese->recap->prochaineEtape, QStringLiteral("secondaire"));
            l->setWordWrap(true);
            recap_->addWidget(l);
        }
    } else if (syntheseIci && synthese->enCours) {
        recap_->addWidget(style::etiquette(QStringLiteral("Préparation du récap…"), QStringLiteral("secondaire")));
    } else if (syntheseIci && synthese->erreur) {
        auto* l = style::etiquette(*synthese->erreur, QStringLiteral("secondaire"));
        l->setWordWrap(true);
        recap_->addWidget(l);
    } else if (a && a->metriques) {
        recap_->addWidget(style::etiquette(QStringLiteral("Durée : ") + style::duree(a->duree)));
        recap_->addWidget(style::etiquette(QStringLiteral("Vous %1 % · Prospect %2 %").arg(a->metriques->partVous).arg(a->metriques->partProspect)));
    } else if (a) {
        recap_->addWidget(style::etiquette(QStringLiteral("Durée : ") + style::duree(a->duree)));
        recap_->addWidget(style::etiquette(QStringLiteral("%1 prise%2 de parole").arg(a->transcript.size()).arg(a->transcript.size() > 1 ? QStringLiteral("s") : QString())));
    }
    recap_->addStretch(1);
}

} // namespace vd::app
