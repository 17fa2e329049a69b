#include "ecranprogres.h"

#include "ai/moteur.h"
#include "model/store.h"
#include "platform/horloge.h"
#include "ui/ecrans/style.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QValueAxis>

namespace vd::team {

using ui::style::etiquette;
namespace couleur = ui::style::couleur;

namespace {

constexpr int momentsParColonne = 4;

// French typography for display: no line starts with « ? ! : ; » nor ends with «.
QString typographie(QString t)
{
    const QChar insecable(0x00A0);
    for (const QChar signe : {QChar(u'?'), QChar(u'!'), QChar(u':'), QChar(u';'), QChar(u'\u00BB')})
        t.replace(QLatin1Char(' ') + signe, QString(insecable) + signe);
    t.replace(QString(QChar(u'\u00AB')) + QLatin1Char(' '), QString(QChar(u'\u00AB')) + insecable);
    return t;
}

QLabel* paragraphe(const QString& texte, const QString& role = {})
{
    QLabel* l = etiquette(typographie(texte), role);
    l->setWordWrap(true);
    return l;
}

QLabel* icone(const QString& nom, const QColor& c, int taille)
{
    auto* l = new QLabel;
    l->setPixmap(ui::style::icone(nom, c, taille).pixmap(taille, taille));
    l->setFixedSize(taille, taille);
    return l;
}

// The filled check mark of a successful call.
QLabel* coche()
{
    auto* l = new QLabel;
    l->setPixmap(ui::style::icone(QStringLiteral("coche"), Qt::white, 14).pixmap(14, 14));
    l->setAlignment(Qt::AlignCenter);
    l->setFixedSize(22, 22);
    l->setStyleSheet(QStringLiteral("background: %1; border-radius: 11px;").arg(couleur::succes.name()));
    return l;
}

// "12:05": minutes and seconds into the call.
QString minuteSeconde(qint64 ms)
{
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString signe(int n) { return n > 0 ? QStringLiteral("+%1").arg(n) : n < 0 ? QStringLiteral("\u2212%1").arg(-n) : QStringLiteral("="); }

// The competence's scores of the last 60 days, flat, in the palette.
QChartView* graphique(const QList<int>& points, const QColor& c)
{
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    auto* ligne = new QLineSeries;
    auto* ronds = new QScatterSeries;
    QPen pen(c);
    pen.setWidthF(2);
    ligne->setPen(pen);
    ronds->setColor(c);
    ronds->setBorderColor(Qt::white);
    ronds->setMarkerSize(7);
    for (qsizetype i = 0; i < points.size(); ++i) {
        ligne->append(double(i), points[i]);
        ronds->append(double(i), points[i]);
    }
    chart->addSeries(ligne);
    chart->addSeries(ronds);
    auto* x = new QValueAxis;
    x->setRange(-0.3, std::max<double>(1, double(points.size()) - 0.7));
    x->setVisible(false);
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setTickCount(3);
    y->setLabelFormat(QStringLiteral("%d"));
    y->setLabelsColor(couleur::texteSecondaire);
    QFont f = y->labelsFont();
    f.setPixelSize(11);
    y->setLabelsFont(f);
    y->setGridLineColor(couleur::filet);
    y->setLineVisible(false);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* s : {static_cast<QAbstractSeries*>(ligne), static_cast<QAbstractSeries*>(ronds)}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    auto* vue = new QChartView(chart);
    vue->setRenderHint(QPainter::Antialiasing);
    vue->setStyleSheet(QStringLiteral("background: transparent;"));
    vue->setFixedHeight(96);
    return vue;
}

} // namespace

EcranProgres::EcranProgres(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    corps_ = pageDefilante(QMargins(32, 8, 32, 32), 16);
    if (ctx_.store)
        connect(ctx_.store, &model::Store::etatChange, this, [this] {
            if (isVisible())
                planifier();
        });
    recalculer();
}

void EcranProgres::afficher(const ui::Ecran&)
{
    construit_ = false;   // shown again: names and dates are read afresh too
    recalculer();
}

// Several changes in one turn of the event loop make one computation.
void EcranProgres::planifier()
{
    if (planifie_)
        return;
    planifie_ = true;
    QMetaObject::invokeMethod(this, [this] {
        planifie_ = false;
        recalculer();
    }, Qt::QueuedConnection);
}

QString EcranProgres::nomContact(const std::optional<QString>& contactId) const
{
    if (!contactId || !ctx_.store)
        return QStringLiteral("Sans contact");
    const model::Contact* c = ctx_.store->etat().contact(*contactId);
    if (!c)
        return QStringLiteral("Sans contact");
    return c->nomComplet();
}

void EcranProgres::ouvrirAppel(const QString& appelId)
{
    if (ctx_.navigation)
        ctx_.navigation->aller(ui::Ecran::ficheAppel(appelId));
}

void EcranProgres::recalculer()
{
    const QDateTime maintenant = (ctx_.horloge ? *ctx_.horloge : platform::Horloge::instance()).maintenant();
    const QList<model::Appel> vide;
    const QList<model::Appel>& appels = ctx_.store ? ctx_.store->etat().appels : vide;
    BilanProgres b = calculerProgres(appels, maintenant, dimensionsDepuis(ai::Moteur::instance().donnee(QStringLiteral("DIMENSIONS"))));
    // A save that changes none of the figures leaves the page (and where it is scrolled) alone.
    const bool inchange = construit_ && b.memesChiffres(bilan_);
    bilan_ = std::move(b);
    if (inchange)
        return;
    construit_ = true;

    ui::style::vider(corps_);
    corps_->addWidget(paragraphe(QStringLiteral("Vos compétences appel après appel, et ") + textes::slogan + QStringLiteral("."),
                                 QStringLiteral("secondaire")));
    corps_->addWidget(carteExercice());

    // Competences.
    auto* titreComp = new QHBoxLayout;
    titreComp->addWidget(etiquette(QStringLiteral("Vos compétences"), QStringLiteral("titreSection")));
    titreComp->addStretch(1);
    corps_->addSpacing(8);
    corps_->addLayout(titreComp);
    QString sous = QStringLiteral("Moyennes de vos appels analysés des 30 derniers jours, ") + textes::comparaison + QStringLiteral(".");
    if (bilan_.evolutions.appels30Jours == 0)
        sous = textes::aucun30Jours + QStringLiteral(".");
    else if (!bilan_.evolutions.tendanceDisponible)
        sous += QLatin1Char(' ') + textes::tendanceDes4;
    corps_->addWidget(paragraphe(sous, QStringLiteral("secondaire")));
    auto* grille = new QGridLayout;
    grille->setSpacing(12);
    for (qsizetype i = 0; i < bilan_.dimensions.size() && i < bilan_.evolutions.competences.size(); ++i) {
        const Dimension& d = bilan_.dimensions[i];
        grille->addWidget(carteCompetence(d, bilan_.evolutions.competences[i], bilan_.choix.competence == d.id), int(i / 3), int(i % 3));
    }
    for (int c = 0; c < 3; ++c)
        grille->setColumnStretch(c, 1);
    corps_->addLayout(grille);

    // Moments.
    corps_->addSpacing(8);
    corps_->addWidget(etiquette(textes::moments, QStringLiteral("titreSection")));
    corps_->addWidget(paragraphe(textes::momentsSous, QStringLiteral("secondaire")));
    if (bilan_.moments.isEmpty()) {
        auto* c = ui::style::carte(QStringLiteral("carteGrise"));
        auto* l = new QVBoxLayout(c);
        l->setContentsMargins(20, 16, 20, 16);
        l->addWidget(paragraphe(textes::aucunMoment, QStringLiteral("secondaire")));
        corps_->addWidget(c);
    } else {
        auto* colonnes = new QHBoxLayout;
        colonnes->setSpacing(12);
        colonnes->addWidget(colonneMoments(QStringLiteral("À retravailler"), MomentProgres::Genre::aRetravailler, textes::rienARetravailler), 1);
        colonnes->addWidget(colonneMoments(QStringLiteral("Ce qui a marché"), MomentProgres::Genre::reussi,
                                           QStringLiteral("Rien à signaler de ce côté dans vos derniers appels.")), 1);
        corps_->addLayout(colonnes);
    }
    corps_->addStretch(1);
}

QWidget* EcranProgres::carteExercice()
{
    auto* carte = ui::style::carte(QStringLiteral("encart"));
    carte->setObjectName(QStringLiteral("exerciceSemaine"));
    auto* h = new QHBoxLayout(carte);
    h->setContentsMargins(24, 20, 24, 20);
    h->setSpacing(32);
    auto* gauche = new QVBoxLayout;
    gauche->setSpacing(8);
    auto* chip = etiquette(QStringLiteral("Exercice de la semaine"), QStringLiteral("chipBleu"));
    auto* ligneChip = new QHBoxLayout;
    ligneChip->addWidget(chip);
    ligneChip->addStretch(1);
    gauche->addLayout(ligneChip);
    if (!bilan_.choix.exercice) {
        gauche->addWidget(etiquette(textes::pasAssez, QStringLiteral("titreSection")));
        gauche->addWidget(paragraphe(QStringLiteral("Dès votre premier appel analysé, Vendalo choisit ici un exercice d'après votre compétence la plus faible, "
                                                    "et le mesure sur vos appels de la semaine."),
                                     QStringLiteral("secondaire")));
        gauche->addStretch(1);
        h->addLayout(gauche, 1);
        return carte;
    }
    const ExerciceSemaine& x = *bilan_.choix.exercice;
    gauche->addWidget(paragraphe(x.titre, QStringLiteral("titreSection")));
    gauche->addWidget(paragraphe(x.pourquoi));
    gauche->addWidget(paragraphe(libelleCompetence(bilan_.dimensions, x.competence) + textes::noteChoix, QStringLiteral("legende")));
    auto* critere = new QHBoxLayout;
    critere->setSpacing(8);
    critere->addWidget(icone(QStringLiteral("drapeau"), couleur::accent, 16), 0, Qt::AlignTop);
    critere->addWidget(paragraphe(phraseCritere(x.critere, bilan_.dimensions)), 1);
    gauche->addLayout(critere);
    gauche->addSpacing(4);
    gauche->addWidget(etiquette(textes::aTravailler, QStringLiteral("titreCarte")));
    gauche->addWidget(paragraphe(conseilCompetence(x.competence), QStringLiteral("secondaire")));
    gauche->addStretch(1);
    h->addLayout(gauche, 3);

    auto* droite = new QVBoxLayout;
    droite->setSpacing(8);
    const int reussis = bilan_.suivi.reussis();
    auto* compte = etiquette(texteCompte(reussis, x.cible), QStringLiteral("chiffre"));
    compte->setObjectName(QStringLiteral("compteExercice"));
    droite->addWidget(compte);
    // One dot per call aimed at, filled for each success.
    auto* points = new QHBoxLayout;
    points->setSpacing(6);
    for (int i = 0; i < x.cible; ++i) {
        auto* p = new QLabel;
        p->setFixedSize(28, 6);
        p->setStyleSheet(QStringLiteral("background: %1; border-radius: 3px;").arg(i < reussis ? couleur::succes.name() : QStringLiteral("#D6E0FF")));
        points->addWidget(p);
    }
    points->addStretch(1);
    droite->addLayout(points);
    if (reussis >= x.cible)
        droite->addWidget(etiquette(textes::exerciceReussi, QStringLiteral("succes")));
    droite->addSpacing(4);
    if (bilan_.suivi.lignes.isEmpty()) {
        droite->addWidget(paragraphe(textes::aucunAppelSemaine, QStringLiteral("secondaire")));
    } else {
        droite->addWidget(etiquette(QStringLiteral("Vos appels de la semaine"), QStringLiteral("legende")));
        for (const SuiviExercice::Ligne& l : bilan_.suivi.lignes) {
            const model::Appel* a = ctx_.store ? ctx_.store->etat().appel(l.appelId) : nullptr;
            auto* ligne = new ui::style::LigneCliquable;
            auto* lh = new QHBoxLayout(ligne);
            lh->setContentsMargins(8, 6, 8, 6);
            lh->setSpacing(10);
            auto* colonneTexte = new QVBoxLayout;
            colonneTexte->setSpacing(0);
            colonneTexte->addWidget(etiquette(nomContact(a ? a->contactId : std::nullopt)));
            colonneTexte->addWidget(etiquette(a ? ui::style::dateCourte(a->debut) : QString(), QStringLiteral("legende")));
            lh->addLayout(colonneTexte, 1);
            if (l.resultat == ResultatExercice::reussi)
                lh->addWidget(coche());
            else
                lh->addWidget(etiquette(texteResultat(l.resultat), l.resultat == ResultatExercice::manque ? QStringLiteral("chipAmbre")
                                                                                                          : QStringLiteral("chipGris")));
            const QString id = l.appelId;
            connect(ligne, &ui::style::LigneCliquable::clique, this, [this, id] { ouvrirAppel(id); });
            droite->addWidget(ligne);
        }
    }
    droite->addStretch(1);
    auto* cadre = new QWidget;
    cadre->setLayout(droite);
    cadre->setMinimumWidth(280);
    h->addWidget(cadre, 2);
    return carte;
}

QWidget* EcranProgres::carteCompetence(const Dimension& d, const EvolutionCompetence& e, bool plusFaible)
{
    auto* carte = ui::style::carte(plusFaible ? QStringLiteral("encartAmbre") : QStringLiteral("carte"));
    auto* v = new QVBoxLayout(carte);
    v->setContentsMargins(16, 14, 16, 10);
    v->setSpacing(4);
    auto* haut = new QHBoxLayout;
    haut->addWidget(etiquette(d.label, QStringLiteral("titreCarte")));
    haut->addStretch(1);
    if (plusFaible)
        haut->addWidget(etiquette(QStringLiteral("À travailler"), QStringLiteral("chipAmbre")));
    v->addLayout(haut);
    auto* chiffres = new QHBoxLayout;
    chiffres->setSpacing(8);
    chiffres->addWidget(etiquette(e.moyenne ? QString::number(*e.moyenne) : QStringLiteral("—"), QStringLiteral("chiffre")));
    if (e.tendance) {
        const QColor c = *e.tendance > 0 ? couleur::succes : *e.tendance < 0 ? couleur::danger : couleur::texteSecondaire;
        chiffres->addWidget(icone(flecheTendance(*e.tendance), c, 18), 0, Qt::AlignVCenter);
        auto* t = etiquette(signe(*e.tendance));
        t->setStyleSheet(QStringLiteral("color: %1; font-weight: 600;").arg(c.name()));
        chiffres->addWidget(t, 0, Qt::AlignVCenter);
    }
    chiffres->addStretch(1);
    QString detail;
    if (e.moyennePrecedente)
        detail = QStringLiteral("avant : %1").arg(*e.moyennePrecedente);
    chiffres->addWidget(etiquette(detail, QStringLiteral("legende")), 0, Qt::AlignBottom);
    v->addLayout(chiffres);
    if (e.points.isEmpty())
        v->addWidget(etiquette(QStringLiteral("Pas encore de score"), QStringLiteral("legende")));
    else
        v->addWidget(graphique(e.points, plusFaible ? couleur::alerte : couleur::accent));
    return carte;
}

QWidget* EcranProgres::colonneMoments(const QString& titre, MomentProgres::Genre genre, const QString& vide)
{
    auto* colonne = new QWidget;
    auto* v = new QVBoxLayout(colonne);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(8);
    auto* tete = new QHBoxLayout;
    const bool reussi = genre == MomentProgres::Genre::reussi;
    tete->addWidget(etiquette(titre, reussi ? QStringLiteral("chipBleu") : QStringLiteral("chipAmbre")));
    tete->addStretch(1);
    v->addLayout(tete);
    int n = 0;
    for (const MomentProgres& m : bilan_.moments) {
        if (m.genre != genre || n >= momentsParColonne)
            continue;
        ++n;
        auto* c = ui::style::carte();
        auto* l = new QVBoxLayout(c);
        l->setContentsMargins(16, 12, 16, 10);
        l->setSpacing(4);
        l->addWidget(paragraphe(m.titre, QStringLiteral("titreCarte")));
        if (!m.citation.isEmpty()) {
            const QString citation = m.citation.size() > 200 ? m.citation.left(199).trimmed() + QStringLiteral("…") : m.citation;
            auto* q = paragraphe(QStringLiteral("« ") + citation + QStringLiteral(" »"));
            q->setStyleSheet(QStringLiteral("font-style: italic;"));
            l->addWidget(q);
        }
        if (!m.note.isEmpty())
            l->addWidget(paragraphe(m.libelleNote + QStringLiteral(" : ") + m.note, QStringLiteral("secondaire")));
        auto* bas = new QHBoxLayout;
        QString quand = nomContact(m.contactId) + QStringLiteral(" · ") + ui::style::dateCourte(m.debut, false);
        if (m.tMs)
            quand += QStringLiteral(" · à ") + minuteSeconde(*m.tMs);
        bas->addWidget(etiquette(quand, QStringLiteral("legende")), 1);
        auto* revoir = ui::style::bouton(textes::revoir, QStringLiteral("lien"));
        const QString id = m.appelId;
        const std::optional<qint64> tMs = m.tMs;
        connect(revoir, &QPushButton::clicked, this, [this, id, tMs] {
            if (ctx_.navigation)
                ctx_.navigation->aller(tMs ? ui::Ecran::ficheAppel(id, *tMs) : ui::Ecran::ficheAppel(id));
        });
        bas->addWidget(revoir);
        l->addLayout(bas);
        v->addWidget(c);
    }
    if (n == 0) {
        auto* c = ui::style::carte(QStringLiteral("carteGrise"));
        auto* l = new QVBoxLayout(c);
        l->setContentsMargins(16, 12, 16, 12);
        l->addWidget(paragraphe(vide, QStringLiteral("secondaire")));
        v->addWidget(c);
    }
    v->addStretch(1);
    return colonne;
}

} // namespace vd::team
