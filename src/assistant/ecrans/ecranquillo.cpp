#include "ecranquillo.h"

#include "model/store.h"
#include "ui/ecrans/style.h"
#include "ui/navigation.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

namespace vd::assistant {

QString markdownSur(const QString& texte)
{
    QString t = texte;
    // Raw HTML is shown as text, and images become their description.
    t.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    static const QRegularExpression image(QStringLiteral("!\\[([^\\]]*)\\]\\([^)]*\\)"));
    t.replace(image, QStringLiteral("\\1"));
    return t;
}

namespace {

QString resumeProposition(const ElementQuillo& e)
{
    const QJsonObject o = e.proposition.value_or(QJsonValue()).toObject();
    QStringList l;
    for (const char* k : {"texte", "objet", "nom", "prenom", "societe", "echeance", "objectif"})
        if (const QString v = o.value(QLatin1String(k)).toString(); !v.isEmpty())
            l << v;
    if (o.value(QLatin1String("questions")).isArray())
        for (const QJsonValue& q : o.value(QLatin1String("questions")).toArray())
            l << QStringLiteral("• ") + q.toString();
    if (o.value(QLatin1String("champs")).isObject() || o.value(QLatin1String("reglages")).isObject())
        l << QString::fromUtf8(QJsonDocument(o.value(QLatin1String(o.contains(QLatin1String("champs")) ? "champs" : "reglages")).toObject())
                                   .toJson(QJsonDocument::Compact));
    return l.join(QLatin1Char('\n'));
}

} // namespace

EcranQuillo::EcranQuillo(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    ConfigQuillo config;
    config.client.routes = ai::routesDuStore(*ctx.store);
    if (ctx.horloge)
        config.client.horloge = ctx.horloge;
    session_ = std::make_unique<QuilloSession>(*ctx.store, config);
    session_->naviguer = [this](const QString& ecran, const QString& cible) {
        if (!ctx_.navigation)
            return;
        if (ecran == QLatin1String("nouvelAppel"))
            ctx_.navigation->aller(ui::Ecran::nouvelAppel(cible.isEmpty() ? std::nullopt : std::optional(cible)));
        else if (const std::optional<ui::Ecran> e = ui::Ecran::depuisNom(ecran, cible.isEmpty() ? std::nullopt : std::optional(cible)))
            ctx_.navigation->aller(*e);
    };
    session_->ouvrirURL = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };

    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(24, 16, 24, 16);
    l->setSpacing(16);

    auto* gauche = new QVBoxLayout;
    liste_ = new QListWidget(this);
    liste_->setFixedWidth(240);
    connect(liste_, &QListWidget::itemClicked, this, [this](QListWidgetItem* i) { session_->ouvrir(i->data(Qt::UserRole).toString()); });
    auto* supprimer = ui::style::bouton(QStringLiteral("Effacer l'historique"), QStringLiteral("danger"));
    connect(supprimer, &QPushButton::clicked, this, [this] {
        QuilloSession::supprimerHistorique(*ctx_.store);
        session_->nouvelle();
    });
    gauche->addWidget(ui::style::etiquette(QStringLiteral("Conversations"), QStringLiteral("titreCarte")));
    gauche->addWidget(liste_, 1);
    gauche->addWidget(supprimer);
    l->addLayout(gauche);

    auto* droite = new QVBoxLayout;
    droite->setSpacing(8);
    bandeau_ = ui::style::etiquette(QString(), QStringLiteral("chipBleu"));
    bandeau_->hide();
    droite->addWidget(bandeau_, 0, Qt::AlignLeft);
    defil_ = new QScrollArea(this);
    defil_->setWidgetResizable(true);
    defil_->setObjectName(QStringLiteral("page"));
    fil_ = new QWidget(defil_);
    fil_->setObjectName(QStringLiteral("pageInterieur"));
    filLayout_ = new QVBoxLayout(fil_);
    filLayout_->setContentsMargins(8, 8, 8, 8);
    filLayout_->setSpacing(10);
    defil_->setWidget(fil_);
    droite->addWidget(defil_, 1);
    auto* saisie = new QHBoxLayout;
    champ_ = new QLineEdit(this);
    champ_->setPlaceholderText(QStringLiteral("Demandez à Quillo… (vos prospects, vos appels, votre pipeline)"));
    envoyer_ = ui::style::bouton(QStringLiteral("Envoyer"), QStringLiteral("primaire"));
    auto envoi = [this] {
        if (session_->enCours()) {
            session_->arreter();
            return;
        }
        poser(champ_->text());
    };
    connect(envoyer_, &QPushButton::clicked, this, envoi);
    connect(champ_, &QLineEdit::returnPressed, this, envoi);
    saisie->addWidget(champ_, 1);
    saisie->addWidget(envoyer_);
    droite->addLayout(saisie);
    l->addLayout(droite, 1);

    connect(session_.get(), &QuilloSession::changement, this, [this] {
        // Several changes in a row are drawn once.
        if (!property("planifie").toBool()) {
            setProperty("planifie", true);
            QTimer::singleShot(0, this, [this] {
                setProperty("planifie", false);
                reconstruire();
            });
        }
    });
    connect(session_.get(), &QuilloSession::texteRecu, this, &EcranQuillo::surTexte);
    connect(ctx.store, &model::Store::etatChange, this, [this] {
        if (!session_->enCours())
            listerConversations();
    });
    listerConversations();
    reconstruire();
}

EcranQuillo::~EcranQuillo() = default;

std::optional<ui::EcranBase::Action> EcranQuillo::actionPrincipale() const
{
    return Action{QStringLiteral("Nouvelle conversation"), [this] { session_->nouvelle(); }};
}

void EcranQuillo::afficher(const ui::Ecran&)
{
    listerConversations();
    champ_->setFocus();
}

void EcranQuillo::poser(const QString& question)
{
    if (question.trimmed().isEmpty())
        return;
    champ_->clear();
    session_->demander(question);
}

void EcranQuillo::listerConversations()
{
    liste_->clear();
    for (const ConversationQuillo& c : QuilloSession::conversations(*ctx_.store)) {
        if (c.mode != QLatin1String("page"))
            continue;
        auto* i = new QListWidgetItem(c.titre.isEmpty() ? QStringLiteral("Conversation") : c.titre, liste_);
        i->setData(Qt::UserRole, c.id);
        i->setToolTip(ui::style::dateCourte(c.majLe));
    }
}

void EcranQuillo::surTexte(const QString& id)
{
    QLabel* l = textes_.value(id);
    if (!l) {
        reconstruire();
        return;
    }
    for (const ElementQuillo& e : session_->conversation().affichage)
        if (e.id == id)
            l->setText(markdownSur(e.texte));
}

QWidget* EcranQuillo::carteProposition(const ElementQuillo& e)
{
    auto* c = ui::style::carte();
    auto* v = new QVBoxLayout(c);
    v->setContentsMargins(16, 12, 16, 12);
    v->setSpacing(6);
    v->addWidget(ui::style::etiquette(e.texte, QStringLiteral("titreCarte")));
    auto* detail = ui::style::etiquette(resumeProposition(e));
    detail->setWordWrap(true);
    v->addWidget(detail);
    const QString statut = e.statut.value_or(QString());
    QString libelle = libelleStatut(statut);
    if (statut != QLatin1String("attente") && e.detail && !e.detail->isEmpty())
        libelle += QStringLiteral(" — ") + *e.detail;
    v->addWidget(ui::style::etiquette(libelle, statut == QLatin1String("echec") ? QStringLiteral("erreur")
                                        : statut == QLatin1String("applique") ? QStringLiteral("succes")
                                                                               : QStringLiteral("legende")));
    auto* boutons = new QHBoxLayout;
    const QString id = e.toolUseId.value_or(QString());
    if (statut == QLatin1String("attente")) {
        auto* a = ui::style::bouton(QStringLiteral("Appliquer"), QStringLiteral("primaire"));
        auto* i = ui::style::bouton(QStringLiteral("Laisser de côté"));
        connect(a, &QPushButton::clicked, this, [this, id] { session_->appliquer(id); });
        connect(i, &QPushButton::clicked, this, [this, id] { session_->ignorer(id); });
        boutons->addWidget(a);
        boutons->addWidget(i);
    } else if (statut == QLatin1String("applique") && e.annulation) {
        auto* d = ui::style::bouton(QStringLiteral("Défaire"));
        connect(d, &QPushButton::clicked, this, [this, id] { session_->defaire(id); });
        boutons->addWidget(d);
    }
    boutons->addStretch(1);
    v->addLayout(boutons);
    return c;
}

void EcranQuillo::reconstruire()
{
    textes_.clear();
    while (QLayoutItem* i = filLayout_->takeAt(0)) {
        if (QWidget* w = i->widget())
            w->deleteLater();
        delete i;
    }
    const ConversationQuillo& c = session_->conversation();
    const std::optional<SourceQuillo> s = session_->source();
    QStringList bandeau;
    if (s == SourceQuillo::demo)
        bandeau << textesQuillo::demo;
    if (session_->historiqueCoupe())
        bandeau << textesQuillo::historiqueCoupe;
    bandeau_->setText(bandeau.join(QStringLiteral(" · ")));
    bandeau_->setVisible(!bandeau.isEmpty());
    if (c.affichage.isEmpty()) {
        auto* vide = ui::style::etiquette(QStringLiteral("Posez vos questions sur vos appels et vos contacts : Quillo répond à partir de vos propres données. "
                                                  "Il ne change rien sans vous : chaque changement vous est proposé."),
                                   QStringLiteral("secondaire"));
        vide->setWordWrap(true);
        filLayout_->addWidget(vide);
        for (const QString& q : {QStringLiteral("Quels prospects dois-je relancer cette semaine ?"), QStringLiteral("Où en est mon pipeline ?"),
                                 QStringLiteral("Ajoute une note à Julien Morel : rappeler lundi")}) {
            auto* b = ui::style::bouton(q, QStringLiteral("lien"));
            connect(b, &QPushButton::clicked, this, [this, q] { poser(q); });
            filLayout_->addWidget(b, 0, Qt::AlignLeft);
        }
    }
    using G = ElementQuillo::Genre;
    for (const ElementQuillo& e : c.affichage) {
        switch (e.genre) {
        case G::question: {
            auto* bulle = ui::style::carte(QStringLiteral("encart"));
            auto* bl = new QVBoxLayout(bulle);
            bl->setContentsMargins(12, 8, 12, 8);
            auto* q = ui::style::etiquette(e.texte);
            q->setWordWrap(true);
            // A fixed width lets the wrapped text take the height it needs.
            q->setFixedWidth(std::min(q->fontMetrics().horizontalAdvance(e.texte) + 8, 480));
            bl->addWidget(q);
            filLayout_->addWidget(bulle, 0, Qt::AlignRight);
            break;
        }
        case G::reponse: {
            auto* r = new QLabel(markdownSur(e.texte), fil_);
            r->setTextFormat(Qt::MarkdownText);
            r->setWordWrap(true);
            r->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
            r->setOpenExternalLinks(false);
            connect(r, &QLabel::linkActivated, this, [this](const QString& url) { session_->ouvrirLien(url); });
            textes_.insert(e.id, r);
            filLayout_->addWidget(r);
            break;
        }
        case G::outil:
        case G::navigation:
            filLayout_->addWidget(ui::style::etiquette(e.texte, QStringLiteral("legende")));
            break;
        case G::memoire:
            filLayout_->addWidget(ui::style::etiquette(e.texte, QStringLiteral("chipGris")), 0, Qt::AlignLeft);
            break;
        case G::erreur:
            filLayout_->addWidget(ui::style::etiquette(e.texte, QStringLiteral("erreur")));
            break;
        case G::proposition:
            filLayout_->addWidget(carteProposition(e));
            break;
        }
    }
    filLayout_->addStretch(1);
    envoyer_->setText(session_->enCours() ? QStringLiteral("Arrêter") : QStringLiteral("Envoyer"));
    QTimer::singleShot(0, this, [this] { defil_->verticalScrollBar()->setValue(defil_->verticalScrollBar()->maximum()); });
}

} // namespace vd::assistant
