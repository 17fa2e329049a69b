#include "ecranficheappel.h"

#include "app/ui.h"
#include "blocenregistrement.h"
#include "call/sessionappel.h"
#include "platform/dossiers.h"
#include "crm/ecrans/blocrelances.h"
#include "team/ecrans/blocsynthese.h"
#include "team/coachingequipe.h"
#include "team/ecrans/bloccoaching.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "model/store.h"
#include "ai/moteur.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vd::app {

namespace {

QString txt(const QJsonObject& o, const char* cle)
{
    return model::lire::texte(o.value(QLatin1String(cle)), QString()).trimmed();
}

QString horodatageAppel(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, ms / 1000);
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QFrame* carteTitree(const QString& titre, QVBoxLayout*& l)
{
    auto* c = style::carte();
    l = new QVBoxLayout(c);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(8);
    l->addWidget(style::etiquette(titre, QStringLiteral("titreCarte")));
    return c;
}

QLabel* paragraphe(const QString& t, const QString& role = {})
{
    auto* l = style::etiquette(t, role);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

BarrePartage::BarrePartage(double vous, double prospect, QWidget* parent) : QWidget(parent), vous_(vous), prospect_(prospect)
{
    setMinimumHeight(10);
    setMaximumHeight(10);
}

void BarrePartage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double total = vous_ + prospect_;
    const QRectF r = rect();
    QPainterPath forme;
    forme.addRoundedRect(r, 5, 5);
    p.setClipPath(forme);
    p.fillRect(r, QColor(0xEF, 0xEF, 0xEC));
    if (total <= 0)
        return;
    const double x = r.width() * vous_ / total;
    p.fillRect(QRectF(0, 0, x, r.height()), style::couleur::accent);
    p.fillRect(QRectF(x, 0, r.width() - x, r.height()), style::couleur::succes);
}

EcranFicheAppel::EcranFicheAppel(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(0, 8, 16, 32), 16);
    connect(ctx_.store, &model::Store::etatChange, this, [this] {
        if (isVisible())
            reconstruire();
    });
}

std::optional<EcranBase::Action> EcranFicheAppel::actionPrincipale() const
{
    const model::Appel* a = ctx_.store->etat().appel(appelId_);
    if (!a || !ctx_.analyser || a->statut == QLatin1String("en_cours") || a->transcript.isEmpty())
        return std::nullopt;
    const QString id = appelId_;
    auto analyser = ctx_.analyser;
    Navigation* nav = ctx_.navigation;
    return Action{a->analyse ? QStringLiteral("Analyser à nouveau") : QStringLiteral("Analyser l'appel"), [analyser, nav, id] {
                      analyser(id);
                      nav->aller(Ecran::analyse(id));
                  }};
}

void EcranFicheAppel::afficher(const Ecran& e)
{
    const QString charge = e.charge.value_or(QString());
    const qsizetype at = charge.lastIndexOf(QLatin1Char('@'));
    bool ok = false;
    const qint64 t = at > 0 ? charge.mid(at + 1).toLongLong(&ok) : 0;
    appelId_ = ok ? charge.left(at) : charge;
    momentDemande_ = ok ? std::optional<qint64>(t) : std::nullopt;
    lireCoaching_ = true;
    reconstruire();
}

QWidget* EcranFicheAppel::enTete(const QJsonObject& an)
{
    const model::Appel& a = *ctx_.store->etat().appel(appelId_);
    auto* c = style::carte();
    auto* h = new QHBoxLayout(c);
    h->setContentsMargins(24, 20, 24, 20);
    h->setSpacing(24);
    const auto score = libelles::score(a);
    if (score) {
        auto* sv = new QVBoxLayout;
        sv->setSpacing(0);
        auto* s = style::etiquette(QString::number(*score), QStringLiteral("score"));
        s->setObjectName(QStringLiteral("score"));
        sv->addWidget(s);
        sv->addWidget(style::etiquette(QStringLiteral("sur 100"), QStringLiteral("legende")));
        h->addLayout(sv);
    }
    auto* v = new QVBoxLayout;
    v->setSpacing(6);
    const QString verdict = txt(an, "verdict");
    if (!verdict.isEmpty()) {
        auto* vl = paragraphe(verdict, QStringLiteral("titreCarte"));
        vl->setObjectName(QStringLiteral("verdict"));
        v->addWidget(vl);
    }
    QStringList faits{libelles::typeAppel(a.type), style::dateCourte(a.debut.isEmpty() ? a.creeLe : a.debut), style::duree(a.duree)};
    if (a.modeleAnalyse && !a.modeleAnalyse->isEmpty())
        faits << (a.modeleAnalyse->contains(QLatin1String("haiku")) ? QStringLiteral("Analyse rapide") : QStringLiteral("Analyse avancée"));
    faits.removeAll(QString());
    v->addWidget(style::etiquette(faits.join(QStringLiteral(" · ")), QStringLiteral("secondaire")));
    if (!a.objectif.trimmed().isEmpty())
        v->addWidget(paragraphe(QStringLiteral("Objectif : ") + a.objectif.trimmed(), QStringLiteral("legende")));
    if (score && a.metriques && a.metriques->nbEchanges < 4) {
        auto* court = paragraphe(avertissementCourt(), QStringLiteral("alerte"));
        court->setObjectName(QStringLiteral("appelCourt"));
        v->addWidget(court);
    }
    h->addLayout(v, 1);
    if (a.metriques) {
        const model::Metriques& m = *a.metriques;
        auto* mv = new QVBoxLayout;
        mv->setSpacing(6);
        mv->addWidget(style::etiquette(QStringLiteral("Temps de parole"), QStringLiteral("legende")));
        mv->addWidget(new BarrePartage(double(m.partVous), double(m.partProspect)));
        mv->addWidget(style::etiquette(QStringLiteral("Vous %1 % · Prospect %2 %").arg(m.partVous).arg(m.partProspect), QStringLiteral("legende")));
        auto* details = style::etiquette(QStringLiteral("%1 question%2 posée%2 · %3 mots par minute · plus long monologue : %4")
                                             .arg(m.questionsVous)
                                             .arg(m.questionsVous > 1 ? QStringLiteral("s") : QString())
                                             .arg(m.motsParMinute)
                                             .arg(style::duree(double(m.plusLongMonologueSec))),
                                         QStringLiteral("legende"));
        details->setWordWrap(true);
        mv->addWidget(details);
        auto* conteneur = new QWidget;
        conteneur->setLayout(mv);
        conteneur->setFixedWidth(300);
        h->addWidget(conteneur, 0, Qt::AlignTop);
    }
    return c;
}

void EcranFicheAppel::reconstruire()
{
    style::vider(corps_);
    ++rendu_;
    const model::Etat& etat = ctx_.store->etat();
    const model::Appel* a = etat.appel(appelId_);
    if (!a) {
        titre_ = QStringLiteral("Appel introuvable");
        corps_->addWidget(paragraphe(QStringLiteral("Cet appel n'existe plus : il a peut-être été retiré par la durée de conservation ou par un import."),
                                     QStringLiteral("secondaire")));
        corps_->addStretch(1);
        Q_EMIT enTeteChange();
        return;
    }
    titre_ = libelles::nomContact(etat, *a);
    const QJsonObject an = a->analyse ? model::versObjetJson(*a->analyse) : QJsonObject();
    corps_->addWidget(enTete(an));

    if (a->statut == QLatin1String("en_cours")) {
        auto* info = paragraphe(QStringLiteral("Cet appel est en cours. Son analyse arrivera à la fin de l'appel."), QStringLiteral("secondaire"));
        corps_->addWidget(info);
    } else if (an.isEmpty()) {
        QString t = a->transcript.isEmpty() ? QStringLiteral("Cet appel n'a pas de transcript : il n'y a rien à analyser.")
                                            : QStringLiteral("Cet appel n'est pas encore analysé.");
        if (a->erreur && !a->erreur->isEmpty())
            t = *a->erreur;
        corps_->addWidget(paragraphe(t, QStringLiteral("secondaire")));
    }

    {
        // The recording: play it, cut a clip; or why there is none.
        const bool derniere = ctx_.session && ctx_.session->appelId() == a->id;
        auto* enr = new BlocEnregistrement(*a, platform::dossierEnregistrements(),
                                           derniere ? ctx_.session->avertissementEnregistrement() : std::nullopt);
        if (enr->utile())
            corps_->addWidget(enr);
        else
            delete enr;
    }

    if (!an.isEmpty()) {
        auto* grille = new QGridLayout;
        grille->setHorizontalSpacing(16);
        grille->setVerticalSpacing(16);
        int rang = 0, col = 0;
        auto placer = [&](QWidget* w) {
            grille->addWidget(w, rang, col);
            if (++col == 2) {
                col = 0;
                ++rang;
            }
        };
        QVBoxLayout* l = nullptr;
        // Summary and dimensions.
        const QString resume = txt(an, "resume");
        const QJsonObject dims = an.value(QStringLiteral("dimensions")).toObject();
        if (!resume.isEmpty() || !dims.isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("En bref"), l);
            if (!resume.isEmpty())
                l->addWidget(paragraphe(resume));
            for (auto it = dims.begin(); it != dims.end(); ++it) {
                const QJsonObject d = it.value().toObject();
                const int s = int(model::lire::nombre(d.value(QStringLiteral("score")), 0));
                auto* ligne = new QHBoxLayout;
                QString nom = it.key();
                for (const QJsonValue& def : ai::Moteur::instance().donnee(QStringLiteral("DIMENSIONS")).toArray())
                    if (def.toObject().value(QStringLiteral("id")).toString() == nom)
                        nom = def.toObject().value(QStringLiteral("libelle")).toString();
                auto* n = style::etiquette(nom.left(1).toUpper() + nom.mid(1));
                n->setFixedWidth(110);
                ligne->addWidget(n);
                auto* barre = new QProgressBar;
                barre->setRange(0, 100);
                barre->setValue(std::clamp(s, 0, 100));
                barre->setTextVisible(false);
                barre->setFixedHeight(8);
                ligne->addWidget(barre, 1);
                auto* v = style::etiquette(QString::number(s), QStringLiteral("legende"));
                v->setFixedWidth(28);
                v->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                ligne->addWidget(v);
                l->addLayout(ligne);
                const QString com = txt(d, "commentaire");
                if (!com.isEmpty())
                    l->addWidget(paragraphe(com, QStringLiteral("legende")));
            }
            placer(c);
        }
        // Coaching.
        const QJsonObject co = an.value(QStringLiteral("coaching")).toObject();
        if (!co.isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("Coaching"), l);
            const std::pair<const char*, QString> parts[] = {{"pointFort", QStringLiteral("Point fort")},
                                                            {"aTravailler", QStringLiteral("À travailler")},
                                                            {"conseil", QStringLiteral("Conseil")}};
            for (const auto& [cle, titre] : parts) {
                const QString t = txt(co, cle);
                if (t.isEmpty())
                    continue;
                l->addWidget(style::etiquette(titre, QStringLiteral("legende")));
                l->addWidget(paragraphe(t));
            }
            l->addStretch(1);
            placer(c);
        }
        // Objections.
        const QJsonArray obj = an.value(QStringLiteral("objections")).toArray();
        if (!obj.isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("Objections"), l);
            for (const QJsonValue& v : obj) {
                const QJsonObject o = v.toObject();
                QString tete = txt(o, "libelle");
                if (auto t = model::lire::nombre(o.value(QStringLiteral("tMs"))))
                    tete = horodatageAppel(qint64(*t)) + QStringLiteral(" · ") + tete;
                l->addWidget(style::etiquette(tete, QStringLiteral("titreCarte")));
                if (!txt(o, "traitement").isEmpty())
                    l->addWidget(paragraphe(libelles::traitementObjection(txt(o, "traitement")), QStringLiteral("secondaire")));
                if (!txt(o, "reponseDonnee").isEmpty())
                    l->addWidget(paragraphe(QStringLiteral("Votre réponse : ") + txt(o, "reponseDonnee")));
                if (!txt(o, "meilleureReponse").isEmpty())
                    l->addWidget(paragraphe(QStringLiteral("Mieux : ") + txt(o, "meilleureReponse")));
            }
            l->addStretch(1);
            placer(c);
        }
        // Questions.
        const QJsonArray qm = an.value(QStringLiteral("questionsQuiMarchent")).toArray();
        const QJsonArray qo = an.value(QStringLiteral("questionsOubliees")).toArray();
        if (!qm.isEmpty() || !qo.isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("Questions"), l);
            if (!qm.isEmpty())
                l->addWidget(style::etiquette(QStringLiteral("Celles qui ont marché"), QStringLiteral("legende")));
            for (const QJsonValue& v : qm)
                l->addWidget(paragraphe(QStringLiteral("• ") + (v.isObject() ? txt(v.toObject(), "question") : model::lire::texte(v, QString()))));
            if (!qo.isEmpty())
                l->addWidget(style::etiquette(QStringLiteral("Oubliées"), QStringLiteral("legende")));
            for (const QJsonValue& v : qo)
                l->addWidget(paragraphe(QStringLiteral("• ") + model::lire::texte(v, QString())));
            l->addStretch(1);
            placer(c);
        }
        // Next steps.
        const QJsonArray pe = an.value(QStringLiteral("prochainesEtapes")).toArray();
        if (!pe.isEmpty() || a->prochaineEtape) {
            QFrame* c = carteTitree(QStringLiteral("Prochaines étapes"), l);
            if (a->prochaineEtape && !a->prochaineEtape->texte.isEmpty())
                l->addWidget(paragraphe(QStringLiteral("Notée pendant l'appel : ") + a->prochaineEtape->texte));
            for (const QJsonValue& v : pe) {
                const QJsonObject o = v.toObject();
                QStringList suite{txt(o, "responsable"), txt(o, "echeance")};
                suite.removeAll(QString());
                l->addWidget(paragraphe(QStringLiteral("• ") + txt(o, "action") +
                                        (suite.isEmpty() ? QString() : QStringLiteral(" (") + suite.join(QStringLiteral(", ")) + QStringLiteral(")"))));
            }
            l->addStretch(1);
            placer(c);
        }
        // CRM update.
        const QJsonObject crm = an.value(QStringLiteral("crm")).toObject();
        if (!crm.isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("Mise à jour du CRM"), l);
            const QString etape = txt(crm, "etapeSuggeree");
            if (!etape.isEmpty()) {
                auto* h = new QHBoxLayout;
                h->addWidget(style::etiquette(QStringLiteral("Étape proposée"), QStringLiteral("legende")));
                h->addWidget(libelles::puceEtape(etape, c));
                if (auto p = model::lire::nombre(crm.value(QStringLiteral("probabilite"))))
                    h->addWidget(style::etiquette(QStringLiteral("%1 %").arg(int(*p <= 1 ? *p * 100 : *p)), QStringLiteral("legende")));
                h->addStretch(1);
                l->addLayout(h);
            }
            if (!txt(crm, "resumeInteraction").isEmpty())
                l->addWidget(paragraphe(txt(crm, "resumeInteraction")));
            if (!txt(crm, "prochaineAction").isEmpty())
                l->addWidget(paragraphe(QStringLiteral("Prochaine action : ") + txt(crm, "prochaineAction"), QStringLiteral("secondaire")));
            l->addStretch(1);
            placer(c);
        }
        grille->setColumnStretch(0, 1);
        grille->setColumnStretch(1, 1);
        corps_->addLayout(grille);
        // Follow-up e-mail, full width.
        const QJsonObject em = an.value(QStringLiteral("email")).toObject();
        if (!txt(em, "corps").isEmpty()) {
            QFrame* c = carteTitree(QStringLiteral("E-mail de suivi"), l);
            if (!txt(em, "objet").isEmpty())
                l->addWidget(paragraphe(QStringLiteral("Objet : ") + txt(em, "objet"), QStringLiteral("titreCarte")));
            l->addWidget(paragraphe(txt(em, "corps")));
            auto* copier = style::bouton(QStringLiteral("Copier l'e-mail"));
            const QString tout = (txt(em, "objet").isEmpty() ? QString() : txt(em, "objet") + QStringLiteral("\n\n")) + txt(em, "corps");
            connect(copier, &QPushButton::clicked, this, [this, tout] {
                QApplication::clipboard()->setText(tout);
                ctx_.toasts->montrer(QStringLiteral("E-mail copié."), Toasts::Toast::Genre::ok);
            });
            l->addWidget(copier, 0, Qt::AlignLeft);
            corps_->addWidget(c);
        }
    }

    // The follow-up sequence proposed after the analysis.
    if (a->analyse && a->statut != QLatin1String("en_cours"))
        corps_->addWidget(new crm::BlocRelances(ctx_, a->id));

    // A team call seen by its manager: the manager synthesis.
    if (team::BlocSynthese::concerne(ctx_, a->id))
        corps_->addWidget(new team::BlocSynthese(ctx_, a->id));
    // The team's comments and the exemplary-call pin (team accounts only).
    team::BlocCoaching* coaching = team::BlocCoaching::pourAppel(ctx_, a->id, this, std::exchange(lireCoaching_, false));
    QHash<qint64, QWidget*> moments;
    if (coaching)
        corps_->addWidget(coaching);

    // What the salesperson wrote and marked.
    if (!a->notes.isEmpty() || !a->momentsMarques.isEmpty()) {
        QVBoxLayout* l = nullptr;
        QFrame* c = carteTitree(QStringLiteral("Notes et moments marqués"), l);
        for (const model::NoteAppel& n : a->notes)
            l->addWidget(paragraphe(horodatageAppel(n.tMs) + QStringLiteral(" · ") + n.texte));
        for (const model::MomentMarque& m : a->momentsMarques)
            l->addWidget(paragraphe(horodatageAppel(m.tMs) + QStringLiteral(" · Moment marqué") +
                                    (m.note && !m.note->isEmpty() ? QStringLiteral(" : ") + *m.note : QString())));
        corps_->addWidget(c);
    }

    // Transcript.
    QVBoxLayout* l = nullptr;
    QFrame* c = carteTitree(QStringLiteral("Transcript"), l);
    if (a->transcript.isEmpty())
        l->addWidget(style::etiquette(QStringLiteral("Aucune parole transcrite."), QStringLiteral("secondaire")));
    const QString prenom = etat.reglages.commercial.prenom.isEmpty() ? QStringLiteral("Vous") : etat.reglages.commercial.prenom;
    for (const model::Segment& s : a->transcript) {
        const bool vous = s.locuteur == QLatin1String("vous");
        auto* ligne = new QHBoxLayout;
        auto* t = style::etiquette(horodatageAppel(s.debutMs), QStringLiteral("legende"));
        t->setFixedWidth(44);
        ligne->addWidget(t, 0, Qt::AlignTop);
        auto* qui = style::etiquette(vous ? prenom : (s.interlocuteur && *s.interlocuteur > 1 ? QStringLiteral("Prospect %1").arg(*s.interlocuteur)
                                                                                             : QStringLiteral("Prospect")),
                                     vous ? QStringLiteral("chipBleu") : QStringLiteral("chipGris"));
        qui->setFixedWidth(96);
        qui->setAlignment(Qt::AlignCenter);
        ligne->addWidget(qui, 0, Qt::AlignTop);
        ligne->addWidget(paragraphe(s.texte), 1);
        if (coaching && coaching->peutCommenter()) {
            auto* commenter = style::bouton(team::textes::commenterMomentCourt, QStringLiteral("lien"));
            commenter->setToolTip(team::textes::commenterMoment);
            connect(commenter, &QPushButton::clicked, coaching, [coaching, t = s.debutMs, id = s.id] { coaching->commenterMoment(t, id); });
            ligne->addWidget(commenter, 0, Qt::AlignTop);
        }
        l->addLayout(ligne);
        moments.insert(s.debutMs, qui);
    }
    if (coaching)
        coaching->voirMoment = [this, moments](qint64 t) { montrerMoment(moments, t); };
    corps_->addWidget(c);
    corps_->addStretch(1);
    // Opened at a moment: scrolled there once the page is laid out, unless rebuilt meanwhile.
    if (momentDemande_) {
        QMetaObject::invokeMethod(this, [this, moments, t = *momentDemande_, rendu = rendu_] {
            if (rendu == rendu_)
                montrerMoment(moments, t);
        }, Qt::QueuedConnection);
        momentDemande_.reset();
    }
    Q_EMIT enTeteChange();
}

void EcranFicheAppel::montrerMoment(const QHash<qint64, QWidget*>& moments, qint64 tMs)
{
    // The last segment starting at or before the moment.
    QWidget* cible = nullptr;
    qint64 meilleur = -1;
    for (auto it = moments.begin(); it != moments.end(); ++it)
        if (it.key() <= tMs && it.key() > meilleur) {
            meilleur = it.key();
            cible = it.value();
        }
    if (!cible && !moments.isEmpty())
        cible = moments.begin().value();
    for (QWidget* w = cible; w && cible; w = w->parentWidget())
        if (auto* defil = qobject_cast<QScrollArea*>(w)) {
            defil->ensureWidgetVisible(cible, 0, 120);
            return;
        }
}

} // namespace vd::app
