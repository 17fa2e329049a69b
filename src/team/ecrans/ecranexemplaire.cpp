#include "ecranexemplaire.h"

#include "model/json.h"
#include "team/coachingequipe.h"
#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QPointer>

namespace vd::team {

using ui::style::etiquette;

namespace {

QLabel* paragraphe(const QString& t, const QString& role = {})
{
    auto* l = etiquette(t, role);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QFrame* carteTitree(const QString& titre, QVBoxLayout*& l, const QString& role = QStringLiteral("carte"))
{
    auto* c = ui::style::carte(role);
    l = new QVBoxLayout(c);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(8);
    if (!titre.isEmpty())
        l->addWidget(etiquette(titre, QStringLiteral("titreCarte")));
    return c;
}

QString txt(const QJsonObject& o, const char* cle) { return model::lire::texte(o.value(QLatin1String(cle)), QString()).trimmed(); }

QString details(const AppelExemplaire& e)
{
    QStringList d;
    if (e.auteurNom)
        d << *e.auteurNom;
    if (e.debut)
        d << ui::style::dateCourte(*e.debut);
    if (e.duree && *e.duree > 0)
        d << ui::style::duree(*e.duree);
    if (e.score)
        d << QStringLiteral("Score %1").arg(*e.score);
    return d.join(QStringLiteral(" · "));
}

} // namespace

EcranExemplaire::EcranExemplaire(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(32, 24, 32, 32), 16);
    if (ctx_.coaching)
        connect(ctx_.coaching, &CoachingEquipe::change, this, &EcranExemplaire::remplir);
    remplir();
}

void EcranExemplaire::afficher(const ui::Ecran& e)
{
    appelId_ = e.charge.value_or(QString());
    erreur_.clear();
    charge_ = false;
    if (ctx_.coaching)
        charger();
    remplir();
}

QCoro::Task<void> EcranExemplaire::charger()
{
    QPointer<EcranExemplaire> moi(this);
    const QString id = appelId_;
    std::optional<ResultatCoachingVide> lu;
    if (id.isEmpty())
        lu.emplace(co_await ctx_.coaching->chargerExemplaires());
    else
        lu.emplace(co_await ctx_.coaching->lireExemplaire(id));
    if (!moi || id != appelId_)
        co_return;
    const auto& r = *lu;
    charge_ = true;
    if (!r.ok())
        erreur_ = r.erreur();
    remplir();
}

void EcranExemplaire::remplir()
{
    ui::style::vider(corps_);
    if (!ctx_.coaching) {
        titre_ = QStringLiteral("Appels exemplaires");
        corps_->addWidget(paragraphe(QStringLiteral("Les appels exemplaires de votre équipe s'affichent ici quand vous êtes connecté à un "
                                                    "compte d'équipe Vendalo : le manager épingle un appel avec une note, et chacun lit "
                                                    "son analyse et son transcript."),
                                     QStringLiteral("secondaire")));
        corps_->addStretch(1);
        Q_EMIT enTeteChange();
        return;
    }
    if (appelId_.isEmpty()) {
        remplirListe();
    } else if (const auto e = ctx_.coaching->epingle(appelId_)) {
        remplirAppel(*e);
    } else {
        titre_ = textes::appelExemplaire;
        const bool connu = ctx_.coaching->epingleConnue(appelId_);
        corps_->addWidget(paragraphe(!erreur_.isEmpty() ? erreur_
                                     : connu        ? QStringLiteral("Cet appel n'est plus épinglé comme exemple.")
                                                    : QStringLiteral("Chargement de l'appel…"),
                                     !erreur_.isEmpty() ? QStringLiteral("erreur") : QStringLiteral("secondaire")));
    }
    corps_->addStretch(1);
    Q_EMIT enTeteChange();
}

void EcranExemplaire::remplirListe()
{
    titre_ = QStringLiteral("Appels exemplaires");
    const QList<AppelExemplaire>& l = ctx_.coaching->exemplaires();
    if (!erreur_.isEmpty())
        corps_->addWidget(paragraphe(erreur_, QStringLiteral("erreur")));
    if (l.isEmpty()) {
        if (ctx_.coaching->exemplairesCharges())
            corps_->addWidget(paragraphe(QStringLiteral("Aucun appel exemplaire pour le moment. Quand un manager épingle un appel, "
                                                        "il apparaît ici pour toute l'équipe."),
                                         QStringLiteral("secondaire")));
        else if (erreur_.isEmpty())
            corps_->addWidget(paragraphe(QStringLiteral("Chargement des appels exemplaires…"), QStringLiteral("secondaire")));
        return;
    }
    for (const AppelExemplaire& e : l) {
        auto* ligne = new ui::style::LigneCliquable;
        auto* v = new QVBoxLayout(ligne);
        v->setContentsMargins(16, 12, 16, 12);
        v->setSpacing(2);
        v->addWidget(etiquette(e.objectif.value_or(e.auteurNom.value_or(textes::appelExemplaire)), QStringLiteral("titreCarte")));
        v->addWidget(etiquette(details(e), QStringLiteral("secondaire")));
        if (e.note)
            v->addWidget(paragraphe(QStringLiteral("« %1 »").arg(*e.note), QStringLiteral("legende")));
        const QString id = e.appelId;
        connect(ligne, &ui::style::LigneCliquable::clique, this, [this, id] {
            if (ctx_.navigation)
                ctx_.navigation->aller(ui::Ecran::exemplaire(id));
        });
        corps_->addWidget(ligne);
    }
}

void EcranExemplaire::remplirAppel(const AppelExemplaire& e)
{
    titre_ = textes::appelExemplaire;
    QVBoxLayout* l = nullptr;
    QFrame* bandeau = carteTitree(QString(), l, QStringLiteral("encart"));
    QString titre = textes::appelExemplaire;
    if (e.epingleParNom)
        titre += textes::epinglePar + *e.epingleParNom;
    l->addWidget(etiquette(titre, QStringLiteral("titreCarte")));
    l->addWidget(paragraphe(textes::aEcouter, QStringLiteral("secondaire")));
    if (e.note)
        l->addWidget(paragraphe(QStringLiteral("« %1 »").arg(*e.note)));
    l->addWidget(etiquette(details(e), QStringLiteral("legende")));
    corps_->addWidget(bandeau);

    const QJsonObject appel = e.appel.value_or(QJsonObject());
    const QJsonObject an = appel.value(QStringLiteral("analyse")).toObject();
    if (!an.isEmpty()) {
        QFrame* c = carteTitree(QStringLiteral("Analyse"), l);
        if (const auto s = model::lire::nombre(an.value(QStringLiteral("score"))))
            l->addWidget(etiquette(QStringLiteral("%1 sur 100").arg(qRound(*s)), QStringLiteral("chiffre")));
        if (const QString r = txt(an, "resume"); !r.isEmpty())
            l->addWidget(paragraphe(r));
        const QJsonObject co = an.value(QStringLiteral("coaching")).toObject();
        const std::pair<const char*, QString> parts[] = {{"pointFort", QStringLiteral("Point fort")},
                                                        {"aTravailler", QStringLiteral("À travailler")},
                                                        {"conseil", QStringLiteral("Conseil")}};
        for (const auto& [cle, nom] : parts)
            if (const QString t = txt(co, cle); !t.isEmpty()) {
                l->addWidget(etiquette(nom, QStringLiteral("legende")));
                l->addWidget(paragraphe(t));
            }
        corps_->addWidget(c);
    }

    QFrame* c = carteTitree(QStringLiteral("Transcript"), l);
    const QJsonArray transcript = appel.value(QStringLiteral("transcript")).toArray();
    if (transcript.isEmpty())
        l->addWidget(etiquette(QStringLiteral("Aucune parole transcrite."), QStringLiteral("secondaire")));
    for (const QJsonValue& v : transcript) {
        const QJsonObject s = v.toObject();
        const bool vous = s.value(QStringLiteral("locuteur")).toString() == QLatin1String("vous");
        auto* ligne = new QHBoxLayout;
        auto* t = etiquette(texteMoment(model::lire::entier(s.value(QStringLiteral("debutMs")), 0)), QStringLiteral("legende"));
        t->setFixedWidth(44);
        ligne->addWidget(t, 0, Qt::AlignTop);
        auto* qui = etiquette(vous ? e.auteurNom.value_or(QStringLiteral("Commercial")) : QStringLiteral("Prospect"),
                              vous ? QStringLiteral("chipBleu") : QStringLiteral("chipGris"));
        qui->setFixedWidth(96);
        qui->setAlignment(Qt::AlignCenter);
        ligne->addWidget(qui, 0, Qt::AlignTop);
        ligne->addWidget(paragraphe(txt(s, "texte")), 1);
        l->addLayout(ligne);
    }
    corps_->addWidget(c);
}

} // namespace vd::team
