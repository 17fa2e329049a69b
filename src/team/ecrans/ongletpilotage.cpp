#include "ongletpilotage.h"

#include "cloud/compte.h"
#include "model/store.h"
#include "model/texte.h"
#include "platform/horloge.h"
#include "ui/ecrans/style.h"
#include "ui/navigation.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>

namespace vd::team {

namespace {

QLabel* texte(const QString& t, const QString& role = {}, QWidget* parent = nullptr)
{
    auto* l = ui::style::etiquette(t, role, parent);
    l->setWordWrap(true);
    return l;
}

QFrame* carte(const QString& titre, QVBoxLayout*& l, QWidget* parent)
{
    auto* c = ui::style::carte(QStringLiteral("carte"), parent);
    l = new QVBoxLayout(c);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(8);
    if (!titre.isEmpty())
        l->addWidget(ui::style::etiquette(titre, QStringLiteral("titreCarte"), c));
    return c;
}

QString entierOuTiret(const std::optional<int>& v, const QString& suffixe = {})
{
    return v ? QString::number(*v) + suffixe : QStringLiteral("—");
}

QString montant(double v)
{
    return QLocale(QStringLiteral("fr_FR")).toString(qint64(std::llround(v))) + QStringLiteral("\u00A0€");
}

} // namespace

OngletPilotage::OngletPilotage(ui::Contexte& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("ongletPilotage"));
    auto* racine = new QVBoxLayout(this);
    racine->setContentsMargins(0, 16, 0, 0);
    racine->setSpacing(16);
    indisponible_ = texte(texteIndisponible(), QStringLiteral("secondaire"), this);
    indisponible_->setObjectName(QStringLiteral("pilotageIndisponible"));
    racine->addWidget(indisponible_);
    contenu_ = new QWidget(this);
    auto* corps = new QVBoxLayout(contenu_);
    corps->setContentsMargins(0, 0, 0, 0);
    corps->setSpacing(16);
    racine->addWidget(contenu_);
    racine->addStretch();

    // Calls to look at.
    QVBoxLayout* a = nullptr;
    auto* carteAlertes = carte(QStringLiteral("Appels à regarder"), a, contenu_);
    carteAlertes->setObjectName(QStringLiteral("appelsARegarder"));
    a->addWidget(texte(texteExplication(), QStringLiteral("secondaire"), carteAlertes));
    auto* ligneSeuils = new QHBoxLayout;
    resumeSeuils_ = texte({}, QStringLiteral("legende"), carteAlertes);
    resumeSeuils_->setObjectName(QStringLiteral("resumeSeuils"));
    ligneSeuils->addWidget(resumeSeuils_, 1);
    seuils_ = ui::style::bouton(QStringLiteral("Seuils d'alerte"), {}, carteAlertes);
    seuils_->setObjectName(QStringLiteral("ouvrirSeuils"));
    ligneSeuils->addWidget(seuils_);
    toutVu_ = ui::style::bouton(QStringLiteral("Tout marquer comme vu"), {}, carteAlertes);
    toutVu_->setObjectName(QStringLiteral("toutMarquerVu"));
    ligneSeuils->addWidget(toutVu_);
    a->addLayout(ligneSeuils);
    alertes_ = new QVBoxLayout;
    alertes_->setSpacing(6);
    a->addLayout(alertes_);
    corps->addWidget(carteAlertes);

    // Period table.
    QVBoxLayout* t = nullptr;
    auto* carteTableau = carte({}, t, contenu_);
    carteTableau->setObjectName(QStringLiteral("tableauEquipe"));
    auto* tete = new QHBoxLayout;
    tete->addWidget(ui::style::etiquette(QStringLiteral("L'équipe sur la période"), QStringLiteral("titreCarte"), carteTableau), 1);
    periode_ = new QComboBox(carteTableau);
    periode_->setObjectName(QStringLiteral("periode"));
    periode_->addItem(QStringLiteral("7 derniers jours"), 7);
    periode_->addItem(QStringLiteral("30 derniers jours"), 30);
    periode_->addItem(QStringLiteral("90 derniers jours"), 90);
    periode_->setCurrentIndex(1);
    tete->addWidget(periode_);
    t->addLayout(tete);
    tableau_ = new QTableWidget(carteTableau);
    tableau_->setObjectName(QStringLiteral("tableauMembres"));
    const QStringList colonnes{QStringLiteral("Commercial"), QStringLiteral("Appels"), QStringLiteral("Temps en appel"),
                               QStringLiteral("Retards du commercial"), QStringLiteral("Prospect en retard"), QStringLiteral("Prospects absents"),
                               QStringLiteral("Score"), QStringLiteral("Framework"), QStringLiteral("À travailler"),
                               QStringLiteral("Qualification"), QStringLiteral("Suites datées"), QStringLiteral("Affaires chaudes"),
                               QStringLiteral("gagnées / perdues"), QStringLiteral("Relances")};
    tableau_->setColumnCount(int(colonnes.size()));
    tableau_->setHorizontalHeaderLabels(colonnes);
    tableau_->horizontalHeaderItem(int(colonnes.size()) - 1)->setToolTip(texteColonneRelances());
    tableau_->verticalHeader()->hide();
    tableau_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableau_->setSelectionMode(QAbstractItemView::NoSelection);
    tableau_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tableau_->setMinimumHeight(160);
    t->addWidget(tableau_);
    auto* legende = texte(texteColonneRelances(), QStringLiteral("legende"), carteTableau);
    legende->setObjectName(QStringLiteral("legendeRelances"));
    t->addWidget(legende);
    tableauVide_ = texte({}, QStringLiteral("secondaire"), carteTableau);
    tableauVide_->setObjectName(QStringLiteral("tableauVide"));
    t->addWidget(tableauVide_);
    voirAppels_ = new QVBoxLayout;
    auto* ligneVoir = new QHBoxLayout;
    ligneVoir->addLayout(voirAppels_);
    ligneVoir->addStretch();
    t->addLayout(ligneVoir);
    corps->addWidget(carteTableau);

    // Weekly chart.
    QVBoxLayout* g = nullptr;
    graphique_ = carte(QStringLiteral("Semaine après semaine"), g, contenu_);
    graphique_->setObjectName(QStringLiteral("graphiqueSemaines"));
    graphiqueLayout_ = g;
    corps->addWidget(graphique_);

    // Loss reasons and hot deals, side by side.
    auto* bas = new QHBoxLayout;
    bas->setSpacing(16);
    QVBoxLayout* p = nullptr;
    auto* cartePertes = carte(QStringLiteral("Raisons de perte"), p, contenu_);
    cartePertes->setObjectName(QStringLiteral("raisonsPerte"));
    pertes_ = new QVBoxLayout;
    p->addLayout(pertes_);
    p->addStretch();
    bas->addWidget(cartePertes, 1);
    QVBoxLayout* c = nullptr;
    auto* carteChaudes = carte(QStringLiteral("Affaires chaudes"), c, contenu_);
    carteChaudes->setObjectName(QStringLiteral("affairesChaudes"));
    chaudes_ = new QVBoxLayout;
    c->addLayout(chaudes_);
    c->addStretch();
    bas->addWidget(carteChaudes, 1);
    corps->addLayout(bas);

    connect(toutVu_, &QPushButton::clicked, this, [this] {
        if (ctx_.pilotage)
            ctx_.pilotage->marquerToutVu();
    });
    connect(seuils_, &QPushButton::clicked, this, &OngletPilotage::ouvrirSeuils);
    connect(periode_, &QComboBox::currentIndexChanged, this, [this] { remplirTableau(); });
    if (ctx_.pilotage)
        connect(ctx_.pilotage, &PilotageEquipe::change, this, &OngletPilotage::rafraichir);
    if (ctx_.compte)
        connect(ctx_.compte, &cloud::Compte::change, this, &OngletPilotage::rafraichir);
    rafraichir();
}

bool OngletPilotage::disponible() const { return ctx_.pilotage && ctx_.pilotage->demarre(); }

void OngletPilotage::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (ctx_.pilotage)
        ctx_.pilotage->evaluer();
    remplirTableau();
}

QList<MembreEquipe> OngletPilotage::membres() const
{
    QList<MembreEquipe> l;
    QSet<QString> vus;
    const QString moi = ctx_.pilotage ? ctx_.pilotage->compte() : QString();
    if (ctx_.compte && ctx_.compte->equipe())
        for (const QJsonValue& v : ctx_.compte->equipe()->value(QStringLiteral("membres")).toArray()) {
            const QJsonObject m = v.toObject();
            const QString id = m.value(QStringLiteral("id")).toString();
            if (id.isEmpty() || id == moi)
                continue;
            const QString nom = m.value(QStringLiteral("nom")).toString().trimmed();
            l.append({id, nom.isEmpty() ? m.value(QStringLiteral("email")).toString() : nom, m.value(QStringLiteral("roleOrg")).toString()});
            vus.insert(id);
        }
    if (ctx_.pilotage)
        for (const model::Appel& a : ctx_.pilotage->appelsEquipe())
            if (a.compteId && !vus.contains(*a.compteId)) {
                vus.insert(*a.compteId);
                l.append({*a.compteId, nomMembre(*a.compteId), QStringLiteral("commercial")});
            }
    return l;
}

QString OngletPilotage::nomMembre(const QString& compteId) const
{
    const QString nom = nomMembreEquipe(ctx_.compte, compteId);
    return nom.isEmpty() ? QStringLiteral("Un membre de l'équipe") : nom;
}

void OngletPilotage::rafraichir()
{
    const bool d = disponible();
    indisponible_->setVisible(!d);
    contenu_->setVisible(d);
    if (d != disponible_) {
        disponible_ = d;
        Q_EMIT disponibiliteChange(d);
    }
    if (!d)
        return;
    resumeSeuils_->setText(resumeSeuils(ctx_.pilotage->seuils()));
    seuils_->setVisible(ctx_.pilotage->seuils().modifiable);
    remplirAlertes();
    if (isVisible())
        remplirTableau();
}

void OngletPilotage::remplirAlertes()
{
    ui::style::vider(alertes_);
    PilotageEquipe& p = *ctx_.pilotage;
    QHash<QString, model::Appel> appels;
    for (const model::Appel& a : p.appelsEquipe())
        appels.insert(a.id, a);
    int n = 0;
    // Newest first.
    for (auto it = p.alertes().crbegin(); it != p.alertes().crend(); ++it) {
        const AlerteAppel& al = *it;
        if (al.vue)
            continue;
        ++n;
        auto* ligne = new QWidget(this);
        ligne->setObjectName(QStringLiteral("alerte"));
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(0, 4, 0, 4);
        auto* v = new QVBoxLayout;
        v->setSpacing(2);
        const auto appel = appels.constFind(al.appelId);
        QString titre = nomMembre(al.compteId);
        QString quand;
        if (appel != appels.constEnd()) {
            if (ctx_.store && appel->contactId)
                if (const model::Contact* k = ctx_.store->etat().contact(*appel->contactId))
                    titre += QStringLiteral(" avec ") + k->nomComplet();
            quand = ui::style::dateCourte(appel->debut);
            if (appel->analyse)
                quand += QStringLiteral(" · score %1 sur 100").arg(appel->analyse->score);
        }
        v->addWidget(ui::style::etiquette(titre, QStringLiteral("titreCarte"), ligne));
        QStringList raisons;
        for (RaisonAlerte r : al.raisons)
            raisons << (appel != appels.constEnd() ? libelleRaison(r, *appel, p.seuils()) : valeurBrute(r));
        auto* lr = texte(raisons.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), ligne);
        lr->setObjectName(QStringLiteral("raisonsAlerte"));
        v->addWidget(lr);
        if (!quand.isEmpty())
            v->addWidget(ui::style::etiquette(quand, QStringLiteral("legende"), ligne));
        h->addLayout(v, 1);
        auto* ouvrir = ui::style::bouton(QStringLiteral("Ouvrir l'appel"), {}, ligne);
        const QString id = al.appelId;
        connect(ouvrir, &QPushButton::clicked, this, [this, id] {
            if (ctx_.navigation)
                ctx_.navigation->aller(ui::Ecran::ficheAppel(id));
        });
        h->addWidget(ouvrir, 0, Qt::AlignVCenter);
        alertes_->addWidget(ligne);
    }
    toutVu_->setEnabled(n > 0);
    if (n == 0) {
        auto* vide = texte(texteAucuneAlerte(), QStringLiteral("secondaire"), this);
        vide->setObjectName(QStringLiteral("aucuneAlerte"));
        alertes_->addWidget(vide);
    }
}

void OngletPilotage::remplirTableau()
{
    if (!disponible())
        return;
    const int jours = periode_->currentData().toInt();
    const QDateTime maintenant = ctx_.horloge ? ctx_.horloge->maintenant() : QDateTime::currentDateTimeUtc();
    const QList<MembreEquipe> ms = membres();
    const TableauEquipe t = calculerTableau(ctx_.pilotage->appelsEquipe(), ms, ctx_.store ? ctx_.store->etat().contacts : QList<model::Contact>{},
                                            jours, maintenant);
    tableau_->setRowCount(0);
    ui::style::vider(voirAppels_);
    if (ms.isEmpty())
        tableauVide_->setText(texteSansMembre());
    else if (t.equipe.appels == 0)
        tableauVide_->setText(texteSansAppel());
    tableauVide_->setVisible(ms.isEmpty() || t.equipe.appels == 0);
    tableau_->setVisible(!ms.isEmpty());
    QList<LigneMembreEquipe> lignes = t.lignes;
    if (!lignes.isEmpty())
        lignes.append(t.equipe);
    tableau_->setRowCount(int(lignes.size()));
    for (int r = 0; r < lignes.size(); ++r) {
        const LigneMembreEquipe& l = lignes[r];
        QString score = entierOuTiret(l.scoreMoyen);
        if (l.scoreMoyen && l.scorePrecedent && *l.scoreMoyen != *l.scorePrecedent)
            score += QStringLiteral(" (%1%2)").arg(*l.scoreMoyen > *l.scorePrecedent ? QStringLiteral("+") : QString()).arg(*l.scoreMoyen - *l.scorePrecedent);
        const QStringList cellules{l.nom, QString::number(l.appels), ui::style::duree(l.dureeSec), QString::number(l.retardsCommercial),
                                   QString::number(l.retardsProspect), QString::number(l.absencesProspect), score,
                                   entierOuTiret(l.suiviMoyen, QStringLiteral("\u00A0%")),
                                   l.competenceFaible ? QStringLiteral("À travailler : ") + l.competenceFaible->label : QStringLiteral("—"),
                                   entierOuTiret(l.qualification, QStringLiteral("\u00A0%")), QString::number(l.suitesDatees),
                                   QString::number(l.affairesChaudes), QStringLiteral("%1 / %2").arg(l.gagnees).arg(l.perdues),
                                   texteRelances(l.relances)};
        for (int c = 0; c < cellules.size(); ++c) {
            auto* item = new QTableWidgetItem(cellules[c]);
            if (r == lignes.size() - 1) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            tableau_->setItem(r, c, item);
        }
    }
    for (const LigneMembreEquipe& l : t.lignes) {
        if (l.appels == 0)
            continue;
        auto* b = ui::style::bouton(QStringLiteral("Voir les appels de ") + l.nom, {}, this);
        b->setObjectName(QStringLiteral("voirAppels"));
        const QString id = l.id;
        connect(b, &QPushButton::clicked, this, [this, id] {
            if (ctx_.navigation)
                ctx_.navigation->aller(ui::Ecran{ui::Ecran::Genre::appels, QStringLiteral("compte:") + id});
        });
        voirAppels_->addWidget(b);
    }

    // Weekly chart: calls per week, and the week's average score.
    while (graphiqueLayout_->count() > 1)
        if (QLayoutItem* it = graphiqueLayout_->takeAt(1)) {
            delete it->widget();
            delete it;
        }
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setBackgroundVisible(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    auto* appels = new QBarSet(QStringLiteral("Appels"));
    appels->setColor(ui::style::couleur::accent);
    auto* scores = new QBarSet(QStringLiteral("Score moyen"));
    scores->setColor(ui::style::couleur::succes);
    QStringList semaines;
    const QLocale fr(QStringLiteral("fr_FR"));
    int max = 1;
    for (const SemaineEquipe& s : t.semaines) {
        semaines << fr.toString(s.lundi, QStringLiteral("d MMM"));
        *appels << s.appels;
        *scores << s.scoreMoyen.value_or(0);
        max = std::max({max, s.appels, s.scoreMoyen.value_or(0)});
    }
    auto* serie = new QBarSeries;
    serie->append(appels);
    serie->append(scores);
    chart->addSeries(serie);
    auto* axeX = new QBarCategoryAxis;
    axeX->append(semaines);
    chart->addAxis(axeX, Qt::AlignBottom);
    serie->attachAxis(axeX);
    auto* axeY = new QValueAxis;
    axeY->setRange(0, max);
    axeY->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(axeY, Qt::AlignLeft);
    serie->attachAxis(axeY);
    auto* vue = new QChartView(chart, graphique_);
    vue->setRenderHint(QPainter::Antialiasing);
    vue->setMinimumHeight(220);
    graphiqueLayout_->addWidget(vue);

    ui::style::vider(pertes_);
    for (const RaisonPerte& r : t.raisonsPerte)
        pertes_->addWidget(texte(r.raison + QStringLiteral(" · ") + QString::number(r.nombre), {}, this));
    if (t.raisonsPerte.isEmpty())
        pertes_->addWidget(texte(QStringLiteral("Aucune affaire perdue sur la période."), QStringLiteral("secondaire"), this));
    ui::style::vider(chaudes_);
    for (const AffaireChaude& h : t.affairesChaudes) {
        QStringList parts{h.nom};
        if (!h.societe.isEmpty())
            parts << h.societe;
        if (h.valeur > 0)
            parts << montant(h.valeur);
        parts << QString::number(qint64(std::llround(h.probabilite))) + QStringLiteral("\u00A0%");
        parts << nomMembre(h.compteId);
        auto* l = texte(parts.join(QStringLiteral(" · ")), {}, this);
        l->setObjectName(QStringLiteral("affaireChaude"));
        chaudes_->addWidget(l);
    }
    if (t.affairesChaudes.isEmpty())
        chaudes_->addWidget(texte(QStringLiteral("Aucune affaire chaude sur la période."), QStringLiteral("secondaire"), this));
}

void OngletPilotage::ouvrirSeuils()
{
    if (!ctx_.pilotage)
        return;
    auto* f = new FeuilleSeuils(*ctx_.pilotage, this);
    f->setAttribute(Qt::WA_DeleteOnClose);
    f->open();
}

// --- Thresholds sheet --------------------------------------------------------------

FeuilleSeuils::FeuilleSeuils(PilotageEquipe& pilotage, QWidget* parent) : QDialog(parent), pilotage_(pilotage)
{
    setObjectName(QStringLiteral("feuilleSeuils"));
    setWindowTitle(QStringLiteral("Seuils d'alerte de l'équipe"));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 20, 24, 20);
    l->setSpacing(10);
    l->addWidget(ui::style::etiquette(QStringLiteral("Seuils d'alerte de l'équipe"), QStringLiteral("titreCarte"), this));
    l->addWidget(texte(QStringLiteral("Un appel vous est signalé quand il passe l'un de ces seuils. Les autres arrivent dans le résumé du jour."),
                       QStringLiteral("secondaire"), this));
    auto champ = [this, l](const QString& libelle, double max, const QString& suffixe, const QString& nom) {
        l->addWidget(texte(libelle, {}, this));
        auto* s = new QDoubleSpinBox(this);
        s->setObjectName(nom);
        s->setRange(0, max);
        s->setDecimals(0);
        s->setSuffix(suffixe);
        s->setLocale(QLocale(QStringLiteral("fr_FR")));
        l->addWidget(s, 0, Qt::AlignLeft);
        return s;
    };
    retard_ = champ(QStringLiteral("Le commercial qui démarre après le rendez-vous, ou le prospect qui ne parle pas encore, au-delà de :"), 60,
                    QStringLiteral(" min"), QStringLiteral("seuilRetard"));
    suivi_ = champ(QStringLiteral("Alerte quand un appel suit le Framework de l'équipe à moins de :"), 100, QStringLiteral(" %"),
                   QStringLiteral("seuilFramework"));
    score_ = champ(QStringLiteral("Alerte quand la note de l'appel est sous :"), 100, QString(), QStringLiteral("seuilScore"));
    l->addWidget(texte(QStringLiteral("Toujours signalés : une objection laissée sans réponse, une affaire chaude (70 % ou plus), un prospect absent."),
                       QStringLiteral("legende"), this));
    resume_ = texte({}, QStringLiteral("secondaire"), this);
    resume_->setObjectName(QStringLiteral("resumeFeuilleSeuils"));
    l->addWidget(resume_);
    message_ = texte({}, QStringLiteral("legende"), this);
    message_->setObjectName(QStringLiteral("messageSeuils"));
    l->addWidget(message_);
    auto* boutons = new QHBoxLayout;
    auto* defaut = ui::style::bouton(QStringLiteral("Valeurs par défaut"), {}, this);
    defaut->setObjectName(QStringLiteral("seuilsDefaut"));
    auto* fermer = ui::style::bouton(QStringLiteral("Fermer"), {}, this);
    enregistrer_ = ui::style::bouton(QStringLiteral("Enregistrer"), QStringLiteral("primaire"), this);
    enregistrer_->setObjectName(QStringLiteral("enregistrerSeuils"));
    boutons->addWidget(defaut);
    boutons->addStretch();
    boutons->addWidget(fermer);
    boutons->addWidget(enregistrer_);
    l->addLayout(boutons);

    const SeuilsEquipe s = pilotage_.seuils();
    retard_->setValue(s.retardMinutes);
    suivi_->setValue(s.suiviFrameworkMin);
    score_->setValue(s.scoreBas);
    majResume();
    for (QDoubleSpinBox* b : {retard_, suivi_, score_})
        connect(b, &QDoubleSpinBox::valueChanged, this, &FeuilleSeuils::majResume);
    connect(defaut, &QPushButton::clicked, this, [this] {
        retard_->setValue(SeuilsEquipe::retardDefaut);
        suivi_->setValue(SeuilsEquipe::suiviDefaut);
        score_->setValue(SeuilsEquipe::scoreDefaut);
    });
    connect(fermer, &QPushButton::clicked, this, &QDialog::reject);
    connect(enregistrer_, &QPushButton::clicked, this, &FeuilleSeuils::enregistrer);
}

void FeuilleSeuils::majResume()
{
    SeuilsEquipe s;
    s.retardMinutes = retard_->value();
    s.suiviFrameworkMin = suivi_->value();
    s.scoreBas = score_->value();
    resume_->setText(resumeSeuils(s));
}

QString FeuilleSeuils::message() const { return message_->text(); }

void FeuilleSeuils::enregistrer()
{
    SeuilsEquipe s = pilotage_.seuils();
    s.retardMinutes = retard_->value();
    s.suiviFrameworkMin = suivi_->value();
    s.scoreBas = score_->value();
    enregistrer_->setEnabled(false);
    message_->clear();
    envoyer(s);
}

QCoro::Task<void> FeuilleSeuils::envoyer(SeuilsEquipe s)
{
    QPointer<FeuilleSeuils> moi(this);
    const std::optional<QString> erreur = co_await pilotage_.reglerSeuils(s);
    if (!moi)
        co_return;
    enregistrer_->setEnabled(true);
    message_->setText(erreur.value_or(PilotageEquipe::messageSeuilsEnregistres()));
    Q_EMIT termine(!erreur);
}

} // namespace vd::team
