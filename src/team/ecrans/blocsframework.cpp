#include "blocsframework.h"

#include "cloud/compte.h"
#include "model/store.h"
#include "team/propositionsframework.h"
#include "ui/contexte.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vd::team {

using ui::style::bouton;
using ui::style::etiquette;
using Genre = ui::Toasts::Toast::Genre;

namespace {

// Under the demonstration the canned route may answer the method's analysis.
class ClientDemoMarque : public ai::ClientIABase {
public:
    explicit ClientDemoMarque(ai::ClientIABase& base) : base_(base) {}
    ai::DemandeIA* envoyer(const ai::RequeteIA& r) override
    {
        ai::RequeteIA x = r;
        x.demo = true;
        return base_.envoyer(x);
    }

private:
    ai::ClientIABase& base_;
};

QLabel* texteLong(const QString& t, const QString& role, QWidget* parent)
{
    QLabel* l = etiquette(t, role, parent);
    l->setWordWrap(true);
    return l;
}

QString nAppels(int n) { return n == 1 ? QStringLiteral("1 appel") : QStringLiteral("%1 appels").arg(n); }

// The framework questions are added to: the active default one, else the first stored.
std::optional<FrameworkVente> frameworkCible(const model::Etat& etat)
{
    if (auto f = frameworkPourMethode(etat, QString()))
        return f;
    const QList<FrameworkVente> tous = frameworksDe(etat);
    return tous.isEmpty() ? std::nullopt : std::optional(tous.first());
}

void annoncer(ui::Contexte& ctx, const QString& t, Genre g)
{
    if (ctx.toasts)
        ctx.toasts->montrer(t, g);
}

} // namespace

// ---------------------------------------------------------------- framework from the user's text

BlocMethodePerso::BlocMethodePerso(ui::Contexte& ctx, ai::Moteur& moteur, ai::ClientIABase& client, bool demo, QWidget* parent)
    : QFrame(parent), ctx_(ctx)
{
    setProperty("role", QStringLiteral("carte"));
    if (demo)
        clientDemo_ = std::make_unique<ClientDemoMarque>(client);
    analyse_ = new AnalyseMethodePerso(*ctx.store, moteur, clientDemo_ ? *clientDemo_ : client, this);

    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(20, 16, 20, 16);
    v->setSpacing(10);
    v->addWidget(etiquette(QStringLiteral("Depuis votre propre méthode"), QStringLiteral("titreCarte"), this));
    v->addWidget(texteLong(QStringLiteral("Collez la description de votre méthode de vente, telle que vous l'expliquez à un nouveau "
                                          "commercial. Quillo en tire les étapes, leurs questions et une grille\u00A0; vous relisez "
                                          "avant d'enregistrer."),
                           QStringLiteral("secondaire"), this));
    texte_ = new QPlainTextEdit(this);
    texte_->setObjectName(QStringLiteral("texteMethode"));
    texte_->setFixedHeight(110);
    texte_->setPlaceholderText(QStringLiteral("1. Accueil : on cadre l'appel et le temps disponible.\n"
                                              "2. Découverte : on fait décrire la situation et ce qu'elle coûte.\n…"));
    v->addWidget(texte_);
    auto* h = new QHBoxLayout;
    analyser_ = bouton(QStringLiteral("Analyser ma méthode"), QStringLiteral("primaire"), this);
    analyser_->setObjectName(QStringLiteral("analyserMethode"));
    h->addWidget(analyser_);
    etat_ = etiquette(QString(), QStringLiteral("secondaire"), this);
    h->addWidget(etat_, 1);
    arreter_ = bouton(QStringLiteral("Annuler l'analyse"), QStringLiteral("lien"), this);
    h->addWidget(arreter_);
    connect(arreter_, &QPushButton::clicked, this, [this] { analyse_->recommencer(); });
    v->addLayout(h);
    erreur_ = texteLong(QString(), QStringLiteral("erreur"), this);
    v->addWidget(erreur_);
    resultat_ = ui::style::carte(QStringLiteral("encart"), this);
    contenuResultat_ = new QVBoxLayout(resultat_);
    contenuResultat_->setContentsMargins(16, 12, 16, 12);
    contenuResultat_->setSpacing(6);
    v->addWidget(resultat_);

    connect(texte_, &QPlainTextEdit::textChanged, this, [this] { analyse_->setTexte(texte_->toPlainText()); });
    connect(analyser_, &QPushButton::clicked, this, [this] { analyse_->analyser(); });
    connect(analyse_, &AnalyseMethodePerso::change, this, &BlocMethodePerso::remplir);
    remplir();
}

BlocMethodePerso::~BlocMethodePerso()
{
    // The analysis goes first: its request may belong to the demonstration client.
    delete analyse_;
}

void BlocMethodePerso::setTexte(const QString& t) { texte_->setPlainText(t); }

void BlocMethodePerso::apresEnregistrement(const QString& id)
{
    if (analyse_->etat() == AnalyseMethodePerso::Etat::resultat && memeId(analyse_->brouillon().id, id)) {
        analyse_->recommencer();
        texte_->clear();
    }
}

void BlocMethodePerso::remplir()
{
    using E = AnalyseMethodePerso::Etat;
    const E e = analyse_->etat();
    texte_->setReadOnly(e == E::analyse);
    analyser_->setEnabled(e != E::analyse);
    analyser_->setText(e == E::resultat || e == E::enregistre ? QStringLiteral("Relancer l'analyse") : QStringLiteral("Analyser ma méthode"));
    etat_->setText(e == E::analyse ? QStringLiteral("Quillo lit votre méthode…") : QString());
    arreter_->setVisible(e == E::analyse);
    erreur_->setText(analyse_->erreur().value_or(QString()));
    erreur_->setVisible(analyse_->erreur().has_value());
    ui::style::vider(contenuResultat_);
    resultat_->setVisible(e == E::resultat || e == E::enregistre);
    if (e == E::enregistre && analyse_->enregistre()) {
        contenuResultat_->addWidget(etiquette(QStringLiteral("Framework « %1 » créé.").arg(analyse_->enregistre()->nom),
                                              QStringLiteral("succes"), resultat_));
        contenuResultat_->addWidget(texteLong(QStringLiteral("Retrouvez-le dans la liste ci-dessus pour l'activer ou le définir par défaut."),
                                              QStringLiteral("secondaire"), resultat_));
        return;
    }
    if (e != E::resultat)
        return;
    const FrameworkVente& f = analyse_->brouillon();
    contenuResultat_->addWidget(etiquette(QStringLiteral("Proposition de Quillo : ") + f.nom, QStringLiteral("titreCarte"), resultat_));
    if (!f.description.isEmpty())
        contenuResultat_->addWidget(texteLong(f.description, QStringLiteral("secondaire"), resultat_));
    for (qsizetype i = 0; i < f.etapes.size(); ++i) {
        const EtapeFramework& s = f.etapes[i];
        contenuResultat_->addWidget(texteLong(QStringLiteral("%1. %2 · %3\u00A0%").arg(i + 1).arg(s.nom).arg(qRound(s.poids)), {}, resultat_));
        if (!s.objectif.isEmpty() && s.objectif != s.nom)
            contenuResultat_->addWidget(texteLong(s.objectif, QStringLiteral("legende"), resultat_));
    }
    if (!analyse_->conseils().isEmpty()) {
        contenuResultat_->addSpacing(6);
        contenuResultat_->addWidget(etiquette(QStringLiteral("Conseils de Quillo"), QStringLiteral("titreCarte"), resultat_));
        for (const QString& c : analyse_->conseils())
            contenuResultat_->addWidget(texteLong(QStringLiteral("• ") + c, {}, resultat_));
    }
    auto* h = new QHBoxLayout;
    auto* creer = bouton(QStringLiteral("Créer ce framework"), QStringLiteral("primaire"), resultat_);
    creer->setObjectName(QStringLiteral("creerDepuisMethode"));
    auto* retoucher = bouton(QStringLiteral("Ajuster avant d'enregistrer"), {}, resultat_);
    auto* recommencer = bouton(QStringLiteral("Recommencer"), QStringLiteral("lien"), resultat_);
    h->addWidget(creer);
    h->addWidget(retoucher);
    h->addStretch(1);
    h->addWidget(recommencer);
    contenuResultat_->addSpacing(6);
    contenuResultat_->addLayout(h);
    connect(creer, &QPushButton::clicked, this, [this] {
        if (analyse_->enregistrer(ctx_.compteConnecte ? ctx_.compteConnecte() : std::nullopt) && analyse_->enregistre()) {
            annoncer(ctx_, QStringLiteral("Framework créé."), Genre::ok);
            Q_EMIT enregistre(analyse_->enregistre()->id);
        }
    });
    connect(retoucher, &QPushButton::clicked, this, [this] { Q_EMIT ajuster(analyse_->brouillon()); });
    connect(recommencer, &QPushButton::clicked, this, [this] { analyse_->recommencer(); });
}

// ---------------------------------------------------------------- questions across calls

BlocQuestions::BlocQuestions(ui::Contexte& ctx, ai::Moteur& moteur, QWidget* parent) : QWidget(parent), ctx_(ctx), moteur_(moteur)
{
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(16);
    auto colonne = [&](const QString& titre, const QString& aide) {
        auto* c = ui::style::carte(QStringLiteral("carte"), this);
        auto* v = new QVBoxLayout(c);
        v->setContentsMargins(20, 16, 20, 16);
        v->setSpacing(8);
        v->addWidget(etiquette(titre, QStringLiteral("titreCarte"), c));
        v->addWidget(texteLong(aide, QStringLiteral("secondaire"), c));
        auto* l = new QVBoxLayout;
        l->setSpacing(0);
        v->addLayout(l);
        v->addStretch(1);
        h->addWidget(c, 1);
        return l;
    };
    marchent_ = colonne(QStringLiteral("Questions qui marchent"),
                        QStringLiteral("Celles qui ont fait parler vos prospects sur vos derniers appels analysés."));
    oubliees_ = colonne(QStringLiteral("Questions oubliées"), QStringLiteral("Celles qu'il fallait poser et qui ont manqué."));
}

QJsonArray BlocQuestions::fenetreRecente(const model::Etat& etat, int max)
{
    // Only what the two operations read, so the engine's work is bounded by the window.
    std::vector<const model::Appel*> analyses;
    analyses.reserve(size_t(etat.appels.size()));
    for (const model::Appel& a : etat.appels)
        if (a.analyse)
            analyses.push_back(&a);
    const auto n = std::min<size_t>(analyses.size(), size_t(std::max(0, max)));
    std::partial_sort(analyses.begin(), analyses.begin() + qsizetype(n), analyses.end(),
                      [](const model::Appel* x, const model::Appel* y) { return x->debut > y->debut; });
    QJsonArray r;
    for (size_t i = 0; i < n; ++i) {
        const model::Appel& a = *analyses[i];
        QJsonArray marchent;
        for (const model::QuestionQuiMarche& q : a.analyse->questionsQuiMarchent)
            marchent.append(QJsonObject{{QStringLiteral("question"), q.question}, {QStringLiteral("etapeId"), q.etapeId},
                                        {QStringLiteral("categorie"), q.categorie}, {QStringLiteral("info"), q.info}});
        r.append(QJsonObject{{QStringLiteral("id"), a.id},
                             {QStringLiteral("debut"), a.debut},
                             {QStringLiteral("analyse"), QJsonObject{{QStringLiteral("questionsQuiMarchent"), marchent},
                                                                     {QStringLiteral("questionsOubliees"),
                                                                      QJsonArray::fromStringList(a.analyse->questionsOubliees)}}}});
    }
    return r;
}

void BlocQuestions::actualiser()
{
    const QJsonObject entree{{QStringLiteral("appels"), fenetreRecente(ctx_.store->etat())}};
    const auto qm = moteur_.appelerJSON(QStringLiteral("questionsQuiMarchent"), {entree});
    const auto qo = moteur_.appelerJSON(QStringLiteral("questionsOubliees"), {entree});
    remplir(marchent_, qm.ok() ? qm.valeur().toArray() : QJsonArray(), true);
    remplir(oubliees_, qo.ok() ? qo.valeur().toArray() : QJsonArray(), false);
}

void BlocQuestions::remplir(QVBoxLayout* l, const QJsonArray& lignes, bool marchent)
{
    ui::style::vider(l);
    QWidget* carte = l->parentWidget();
    if (lignes.isEmpty()) {
        l->addWidget(texteLong(marchent ? QStringLiteral("Elles apparaîtront ici après vos premiers appels analysés.")
                                        : QStringLiteral("Aucune question oubliée sur vos derniers appels."),
                               QStringLiteral("legende"), carte));
        return;
    }
    const std::optional<FrameworkVente> cible = frameworkCible(ctx_.store->etat());
    for (qsizetype i = 0; i < std::min<qsizetype>(lignes.size(), lignesMax); ++i) {
        const QJsonObject o = lignes[i].toObject();
        const QString question = o.value(QLatin1String("question")).toString();
        const QString etapeId = o.value(QLatin1String("etapeId")).toString();
        if (i > 0)
            l->addWidget(ui::style::filet(carte));
        auto* ligne = new QWidget(carte);
        auto* v = new QVBoxLayout(ligne);
        v->setContentsMargins(0, 8, 0, 8);
        v->setSpacing(2);
        v->addWidget(texteLong(question, {}, ligne));
        QStringList details{nAppels(o.value(QLatin1String("fois")).toInt())};
        const EtapeFramework* etape = cible ? cible->etapeParId(etapeId) : nullptr;
        if (etape)
            details << etape->nom;
        auto* h = new QHBoxLayout;
        h->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("legende"), ligne));
        h->addStretch(1);
        if (cible && !cible->etapes.isEmpty()) {
            auto* ajouter = bouton(etape ? QStringLiteral("Ajouter à « %1 »").arg(etape->nom) : QStringLiteral("Ajouter à une étape…"),
                                   QStringLiteral("lien"), ligne);
            connect(ajouter, &QPushButton::clicked, this,
                    [this, ajouter, question, etapeId] { proposerAjout(ajouter, question, etapeId); });
            h->addWidget(ajouter);
        }
        v->addLayout(h);
        if (const QString info = o.value(QLatin1String("info")).toString(); marchent && !info.isEmpty())
            v->addWidget(texteLong(info, QStringLiteral("legende"), ligne));
        l->addWidget(ligne);
    }
}

void BlocQuestions::proposerAjout(QWidget* ancre, const QString& question, const QString& etapeId)
{
    const std::optional<FrameworkVente> cible = frameworkCible(ctx_.store->etat());
    if (!cible)
        return;
    auto ajouter = [this, id = cible->id, question](const EtapeFramework& e) {
        if (auto m = ctx_.store->ajouterQuestionEtape(id, e.id, question)) {
            annoncer(ctx_, *m, Genre::erreur);
            return;
        }
        annoncer(ctx_, QStringLiteral("Question ajoutée à l'étape « %1 ».").arg(e.nom), Genre::ok);
    };
    if (const EtapeFramework* e = cible->etapeParId(etapeId)) {
        ajouter(*e);
        return;
    }
    QMenu menu(ancre);
    for (const EtapeFramework& e : cible->etapes)
        connect(menu.addAction(e.nom), &QAction::triggered, this, [ajouter, e] { ajouter(e); });
    menu.exec(ancre->mapToGlobal(QPoint(0, ancre->height())));
}

// ---------------------------------------------------------------- the team's proposals

BlocPropositions::BlocPropositions(ui::Contexte& ctx, bool demo, QWidget* parent) : QFrame(parent), ctx_(ctx), demo_(demo)
{
    setProperty("role", QStringLiteral("carte"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(20, 16, 20, 16);
    v->setSpacing(8);
    v->addWidget(etiquette(QStringLiteral("Propositions de l'équipe"), QStringLiteral("titreCarte"), this));
    etat_ = texteLong(QString(), QStringLiteral("secondaire"), this);
    v->addWidget(etat_);
    liste_ = new QVBoxLayout;
    liste_->setSpacing(0);
    v->addLayout(liste_);
    if (demo_) {
        const QString fw = QStringLiteral("fw_tempora");
        demoEnAttente_ = {
            {QStringLiteral("demo-p1"), fw, QStringLiteral("decouverte"),
             QStringLiteral("Si vous ne changez rien, où en serez-vous dans six mois ?"), std::nullopt, QStringLiteral("demo-lea"),
             QStringLiteral("Léa Martin"), QStringLiteral("en_attente"), {}},
            {QStringLiteral("demo-p2"), fw, QStringLiteral("closing"),
             QStringLiteral("Qui d'autre doit valider avant la signature ?"), std::nullopt, QStringLiteral("demo-hugo"),
             QStringLiteral("Hugo Bernard"), QStringLiteral("en_attente"), {}}};
    } else {
        propositions_ = new PropositionsFramework(ctx.client, this);
        connect(propositions_, &PropositionsFramework::change, this, &BlocPropositions::remplir);
    }
    remplir();
}

bool BlocPropositions::gestionnaire() const
{
    if (demo_)
        return true;
    if (!ctx_.compte || !ctx_.client)
        return false;
    const auto e = ctx_.compte->etat();
    return (e == cloud::Compte::Etat::connecte || e == cloud::Compte::Etat::horsLigne) && ctx_.compte->gestionnaire();
}

void BlocPropositions::actualiser()
{
    setVisible(gestionnaire());
    if (isVisibleTo(parentWidget()) && !demo_)
        charger();
    remplir();
}

QCoro::Task<void> BlocPropositions::charger()
{
    if (enCours_ || !propositions_)
        co_return;
    QPointer<BlocPropositions> moi(this);
    enCours_ = true;
    erreur_.clear();
    remplir();
    auto r = co_await propositions_->charger();
    if (!moi)
        co_return;
    enCours_ = false;
    if (!r.ok())
        erreur_ = r.erreur();
    remplir();
}

QCoro::Task<void> BlocPropositions::decider(PropositionQuestion p, bool accepter)
{
    if (demo_) {
        demoEnAttente_.removeIf([&](const PropositionQuestion& x) { return x.id == p.id; });
        if (!accepter)
            annoncer(ctx_, QStringLiteral("Proposition refusée."), Genre::info);
        else if (auto m = ctx_.store->ajouterQuestionEtape(p.frameworkId, p.etapeId, p.question))
            annoncer(ctx_, *m, Genre::erreur);
        else
            annoncer(ctx_, QStringLiteral("Question ajoutée à l'étape."), Genre::ok);
        remplir();
        co_return;
    }
    QPointer<BlocPropositions> moi(this);
    auto r = co_await propositions_->decider(p.id, accepter);
    if (!moi)
        co_return;
    if (!r.ok()) {
        if (!r.erreur().isEmpty())
            annoncer(ctx_, r.erreur(), Genre::erreur);
        co_return;
    }
    annoncer(ctx_, accepter ? QStringLiteral("Question acceptée : elle rejoint l'étape du framework d'équipe.")
                            : QStringLiteral("Proposition refusée."),
             accepter ? Genre::ok : Genre::info);
}

void BlocPropositions::remplir()
{
    ui::style::vider(liste_);
    const QList<PropositionQuestion>& l = demo_ ? demoEnAttente_ : propositions_->enAttente();
    if (!erreur_.isEmpty())
        etat_->setText(erreur_);
    else if (enCours_ && l.isEmpty())
        etat_->setText(QStringLiteral("Chargement des propositions…"));
    else if (l.isEmpty())
        etat_->setText(QStringLiteral("Aucune proposition en attente. Vos commerciaux proposent des questions depuis la fiche d'un appel."));
    else
        etat_->setText(QStringLiteral("Des questions que vos commerciaux proposent d'ajouter aux étapes du framework d'équipe."));
    const model::Etat& etat = ctx_.store->etat();
    for (qsizetype i = 0; i < l.size(); ++i) {
        const PropositionQuestion p = l[i];
        if (i > 0)
            liste_->addWidget(ui::style::filet(this));
        auto* ligne = new QWidget(this);
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(0, 8, 0, 8);
        h->setSpacing(12);
        auto* v = new QVBoxLayout;
        v->setSpacing(2);
        v->addWidget(texteLong(p.question, {}, ligne));
        QStringList details{QStringLiteral("Proposée par ") + (p.auteurNom.isEmpty() ? QStringLiteral("un membre") : p.auteurNom)};
        if (const auto f = frameworkParId(etat, p.frameworkId))
            if (const EtapeFramework* e = f->etapeParId(p.etapeId))
                details << QStringLiteral("étape « %1 »").arg(e->nom);
        if (!p.creeLe.isEmpty())
            details << ui::style::dateCourte(p.creeLe, false);
        v->addWidget(etiquette(details.join(QStringLiteral(" · ")), QStringLiteral("legende"), ligne));
        h->addLayout(v, 1);
        auto* refuser = bouton(QStringLiteral("Refuser"), {}, ligne);
        auto* accepter = bouton(QStringLiteral("Accepter"), QStringLiteral("primaire"), ligne);
        connect(refuser, &QPushButton::clicked, this, [this, p] { decider(p, false); });
        connect(accepter, &QPushButton::clicked, this, [this, p] { decider(p, true); });
        h->addWidget(refuser, 0, Qt::AlignVCenter);
        h->addWidget(accepter, 0, Qt::AlignVCenter);
        liste_->addWidget(ligne);
    }
}

} // namespace vd::team
