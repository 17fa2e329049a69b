#include "ecranaide.h"

#include "ui/ecrans/style.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QPointer>

#include <qcoro/qcorotask.h>

namespace vd::assistant {

namespace st = ui::style;
using Cible = AideApp::Cible;

namespace {

QScrollArea* defilant(QWidget* interieur, QWidget* parent)
{
    auto* d = new QScrollArea(parent);
    d->setObjectName(QStringLiteral("page"));
    d->setWidgetResizable(true);
    d->setFrameShape(QFrame::NoFrame);
    interieur->setObjectName(QStringLiteral("pageInterieur"));
    d->setWidget(interieur);
    return d;
}

QLabel* texteLong(const QString& t, const QString& role, QWidget* parent)
{
    auto* l = st::etiquette(t, role, parent);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QString quand(const std::optional<QDateTime>& d)
{
    return d ? st::dateCourte(d->toString(Qt::ISODateWithMs)) : QString();
}

QString etatPiece(const PieceJointe& p)
{
    switch (p.etat) {
    case PieceJointe::Etat::prete: return {};
    case PieceJointe::Etat::envoi: return QStringLiteral("Envoi…");
    case PieceJointe::Etat::envoyee: return QStringLiteral("Envoyée");
    case PieceJointe::Etat::erreur: return p.erreur;
    }
    return {};
}

// The name of the screen the user came from, sent with the chat's questions.
QString nomEcran(const ui::Ecran& e)
{
    for (const QString& n : ui::Ecran::noms())
        if (auto x = ui::Ecran::depuisNom(n); x && x->genre == e.genre)
            return n;
    return {};
}

} // namespace

EcranAide::EcranAide(ui::Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    app_ = ctx_.aide;
    if (!app_) {
        propre_ = std::make_unique<AideApp>(nullptr, ctx_.horloge ? *ctx_.horloge : platform::Horloge::instance());
        app_ = propre_.get();
    }
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 12);
    l->setSpacing(12);
    auto* onglets = new QHBoxLayout;
    onglets->setSpacing(8);
    ongletAide_ = st::bouton(QStringLiteral("Aide"), QStringLiteral("secondaire"), this);
    ongletDemandes_ = st::bouton(QStringLiteral("Demandes"), QStringLiteral("secondaire"), this);
    for (QPushButton* b : {ongletAide_, ongletDemandes_}) {
        b->setCheckable(true);
        onglets->addWidget(b);
    }
    onglets->addStretch(1);
    l->addLayout(onglets);
    bandeau_ = texteLong(textesAide::sansCompte, QStringLiteral("encartAmbre"), this);
    bandeau_->setObjectName(QStringLiteral("bandeauAide"));
    bandeau_->setMargin(8);
    l->addWidget(bandeau_);
    pile_ = new QStackedWidget(this);
    pile_->addWidget(construireAide());
    pile_->addWidget(construireDemandes());
    l->addWidget(pile_, 1);
    connect(ongletAide_, &QPushButton::clicked, this, [this] { app_->setOnglet(AideApp::Onglet::aide); });
    connect(ongletDemandes_, &QPushButton::clicked, this, [this] { app_->setOnglet(AideApp::Onglet::demandes); });
    connect(app_, &AideApp::change, this, &EcranAide::maj);
    maj();
}

EcranAide::~EcranAide()
{
    // The panel goes: the state stops feeding it before it says so.
    if (app_) {
        disconnect(app_, nullptr, this, nullptr);
        app_->fermer();
    }
}

void EcranAide::afficher(const ui::Ecran& e)
{
    if (ctx_.navigation && ctx_.navigation->peutRevenir())
        app_->setEcran(nomEcran(ctx_.navigation->historique().constLast()));
    app_->ouvrir(e.charge == QLatin1String("demandes") ? AideApp::Onglet::demandes : AideApp::Onglet::aide);
}

// ---- Aide ----

QWidget* EcranAide::construireAide()
{
    auto* page = new QWidget(this);
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(8);
    auto* interieur = new QWidget;
    fil_ = new QVBoxLayout(interieur);
    fil_->setContentsMargins(0, 0, 8, 0);
    fil_->setSpacing(10);
    auto* defil = defilant(interieur, page);
    l->addWidget(defil, 1);
    connect(defil->verticalScrollBar(), &QScrollBar::rangeChanged, defil, [defil](int, int max) { defil->verticalScrollBar()->setValue(max); });

    capturesChat_ = new QVBoxLayout;
    capturesChat_->setSpacing(4);
    l->addLayout(capturesChat_);
    erreurChat_ = texteLong({}, QStringLiteral("erreur"), page);
    l->addWidget(erreurChat_);
    question_ = new QPlainTextEdit(page);
    question_->setObjectName(QStringLiteral("questionAide"));
    question_->setPlaceholderText(QStringLiteral("Votre question sur Vendalo…"));
    question_->setFixedHeight(72);
    l->addWidget(question_);
    auto* bas = new QHBoxLayout;
    bas->addWidget(barrePieces(Cible::chat(), true));
    restants_ = st::etiquette({}, QStringLiteral("legende"), page);
    bas->addWidget(restants_);
    bas->addStretch(1);
    auto* nouvelle = st::bouton(QStringLiteral("Nouvelle conversation"), QStringLiteral("secondaire"), page);
    connect(nouvelle, &QPushButton::clicked, this, [this] { app_->nouvelleConversation(); });
    bas->addWidget(nouvelle);
    poser_ = st::bouton(QStringLiteral("Envoyer"), QStringLiteral("primaire"), page);
    poser_->setObjectName(QStringLiteral("poserAide"));
    connect(poser_, &QPushButton::clicked, this, [this] {
        const QString q = question_->toPlainText();
        if (q.trimmed().isEmpty())
            return;
        question_->clear();
        app_->poser(q);
    });
    bas->addWidget(poser_);
    l->addLayout(bas);
    return page;
}

QWidget* EcranAide::barrePieces(const Cible& c, bool imagesSeulement)
{
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);
    auto* capture = st::bouton(QStringLiteral("Capture d'écran"), QStringLiteral("secondaire"), w);
    auto* coller = st::bouton(QStringLiteral("Coller une image"), QStringLiteral("secondaire"), w);
    auto* fichier = st::bouton(imagesSeulement ? QStringLiteral("Joindre une image…") : QStringLiteral("Joindre un fichier…"),
                               QStringLiteral("secondaire"), w);
    connect(capture, &QPushButton::clicked, this, [this, c] { app_->capturer(c); });
    connect(coller, &QPushButton::clicked, this, [this, c] { app_->collerImage(c, QGuiApplication::clipboard()->image()); });
    connect(fichier, &QPushButton::clicked, this, [this, c, imagesSeulement] {
        const QString filtre = imagesSeulement ? QStringLiteral("Images (*.png *.jpg *.jpeg *.gif *.webp *.heic *.bmp *.tif *.tiff)")
                                               : QStringLiteral("Images, PDF, vidéos, journaux (*.png *.jpg *.jpeg *.gif *.webp *.heic *.pdf *.mov *.mp4 *.txt *.log);;Tous les fichiers (*)");
        const QString chemin = QFileDialog::getOpenFileName(this, QStringLiteral("Joindre un fichier"), {}, filtre);
        if (!chemin.isEmpty())
            app_->ajouterFichier(c, chemin);
    });
    h->addWidget(capture);
    h->addWidget(coller);
    h->addWidget(fichier);
    return w;
}

void EcranAide::remplirPieces(QVBoxLayout* l, const Cible& c)
{
    st::vider(l);
    for (const PieceJointe& p : app_->pieces(c)) {
        auto* ligne = st::carte(p.etat == PieceJointe::Etat::erreur ? QStringLiteral("encartRouge") : QStringLiteral("carteGrise"));
        auto* h = new QHBoxLayout(ligne);
        h->setContentsMargins(8, 4, 8, 4);
        if (!p.apercu.isNull()) {
            auto* a = new QLabel(ligne);
            a->setPixmap(QPixmap::fromImage(p.apercu.scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
            h->addWidget(a);
        }
        auto* nom = st::etiquette(p.nom, {}, ligne);
        h->addWidget(nom);
        auto* etat = texteLong(etatPiece(p), p.etat == PieceJointe::Etat::erreur ? QStringLiteral("erreur") : QStringLiteral("legende"), ligne);
        h->addWidget(etat, 1);
        const QString id = p.id;
        if (p.etat == PieceJointe::Etat::erreur) {
            auto* reessayer = st::bouton(QStringLiteral("Réessayer"), QStringLiteral("lien"), ligne);
            connect(reessayer, &QPushButton::clicked, this, [this, c, id] { app_->reessayerPiece(c, id); });
            h->addWidget(reessayer);
        }
        if (p.etat != PieceJointe::Etat::envoi) {
            auto* retirer = st::bouton(QStringLiteral("Retirer"), QStringLiteral("lien"), ligne);
            connect(retirer, &QPushButton::clicked, this, [this, c, id] { app_->retirerPiece(c, id); });
            h->addWidget(retirer);
        }
        l->addWidget(ligne);
    }
}

void EcranAide::majChat()
{
    st::vider(fil_);
    if (app_->conversation().isEmpty()) {
        fil_->addWidget(texteLong(QStringLiteral("Posez votre question sur Vendalo : l'aide connaît l'app et peut regarder vos captures d'écran. "
                                                 "Si elle ne trouve pas, ouvrez un ticket : Nolwe vous répond."),
                                  QStringLiteral("legende"), this));
    }
    for (const MessageAide& m : app_->conversation()) {
        const bool client = m.role == MessageAide::Role::client;
        auto* bulle = st::carte(client ? QStringLiteral("bulleVous") : (m.erreur ? QStringLiteral("encartRouge") : QStringLiteral("bulleProspect")));
        bulle->setMaximumWidth(640);
        auto* bl = new QVBoxLayout(bulle);
        bl->setContentsMargins(12, 8, 12, 8);
        bl->addWidget(texteLong(m.enCours ? QStringLiteral("L'aide réfléchit…") : m.texte, m.erreur ? QStringLiteral("erreur") : QString(), bulle));
        for (const PieceJointe& p : m.captures)
            bl->addWidget(st::etiquette(QStringLiteral("📎 ") + p.nom, QStringLiteral("legende"), bulle));
        if (m.proposeDemande) {
            auto* ouvrir = st::bouton(QStringLiteral("Ouvrir un ticket avec cette conversation"), QStringLiteral("secondaire"), bulle);
            connect(ouvrir, &QPushButton::clicked, this, [this] { app_->nouveauTicket(true); });
            bl->addWidget(ouvrir, 0, Qt::AlignLeft);
        }
        fil_->addWidget(bulle, 0, client ? Qt::AlignRight : Qt::AlignLeft);
    }
    fil_->addStretch(1);
    remplirPieces(capturesChat_, Cible::chat());
    poser_->setEnabled(!app_->enCours() && app_->disponible());
    if (const auto r = app_->restants())
        restants_->setText(*r == 1 ? QStringLiteral("1 question restante") : QStringLiteral("%1 questions restantes").arg(*r));
    else
        restants_->clear();
}

// ---- Demandes ----

QWidget* EcranAide::construireDemandes()
{
    auto* page = new QWidget(this);
    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(16);
    auto* gauche = new QWidget(page);
    gauche->setFixedWidth(300);
    auto* gl = new QVBoxLayout(gauche);
    gl->setContentsMargins(0, 0, 0, 0);
    auto* nouveau = st::bouton(QStringLiteral("Nouveau ticket"), QStringLiteral("primaire"), gauche);
    nouveau->setObjectName(QStringLiteral("nouveauTicket"));
    connect(nouveau, &QPushButton::clicked, this, [this] { app_->nouveauTicket(false); });
    gl->addWidget(nouveau);
    etatListe_ = texteLong({}, QStringLiteral("legende"), gauche);
    gl->addWidget(etatListe_);
    auto* interieur = new QWidget;
    liste_ = new QVBoxLayout(interieur);
    liste_->setContentsMargins(0, 0, 4, 0);
    liste_->setSpacing(6);
    gl->addWidget(defilant(interieur, gauche), 1);
    h->addWidget(gauche);

    auto* d = new QWidget(page);
    auto* dl = new QVBoxLayout(d);
    dl->setContentsMargins(0, 0, 0, 0);
    confirmation_ = texteLong({}, QStringLiteral("succes"), d);
    confirmation_->setObjectName(QStringLiteral("confirmationTicket"));
    dl->addWidget(confirmation_);
    droite_ = new QStackedWidget(d);
    auto* vide = texteLong(QStringLiteral("Vos tickets apparaîtront ici. Décrivez un problème avec « Nouveau ticket » : Nolwe vous répond ici."),
                           QStringLiteral("legende"), d);
    vide->setAlignment(Qt::AlignCenter);
    droite_->addWidget(vide);
    droite_->addWidget(construireFormulaire());
    droite_->addWidget(construireFil());
    dl->addWidget(droite_, 1);
    h->addWidget(d, 1);
    return page;
}

QWidget* EcranAide::construireFormulaire()
{
    auto* page = st::carte();
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(16, 16, 16, 16);
    l->setSpacing(8);
    l->addWidget(st::etiquette(QStringLiteral("Nouveau ticket"), QStringLiteral("titreSection"), page));
    sujet_ = new QLineEdit(page);
    sujet_->setObjectName(QStringLiteral("sujetTicket"));
    sujet_->setPlaceholderText(QStringLiteral("Sujet"));
    connect(sujet_, &QLineEdit::textEdited, this, [this](const QString& t) { app_->setSujet(t); });
    l->addWidget(sujet_);
    message_ = new QPlainTextEdit(page);
    message_->setObjectName(QStringLiteral("messageTicket"));
    message_->setPlaceholderText(QStringLiteral("Décrivez votre problème : ce que vous faisiez, ce qui s'est passé."));
    connect(message_, &QPlainTextEdit::textChanged, this, [this] { app_->setMessage(message_->toPlainText()); });
    l->addWidget(message_, 1);
    avecConversation_ = new QCheckBox(QStringLiteral("Joindre la conversation avec l'aide"), page);
    connect(avecConversation_, &QCheckBox::toggled, this, [this](bool b) {
        if (b != app_->formulaire().avecConversation)
            app_->setAvecConversation(b);
    });
    l->addWidget(avecConversation_);
    piecesFormulaire_ = new QVBoxLayout;
    piecesFormulaire_->setSpacing(4);
    l->addLayout(piecesFormulaire_);
    erreurFormulaire_ = texteLong({}, QStringLiteral("erreur"), page);
    l->addWidget(erreurFormulaire_);
    auto* bas = new QHBoxLayout;
    bas->addWidget(barrePieces(Cible::formulaire(), false));
    bas->addStretch(1);
    auto* annuler = st::bouton(QStringLiteral("Annuler"), QStringLiteral("secondaire"), page);
    connect(annuler, &QPushButton::clicked, this, [this] { app_->fermerFormulaire(); });
    bas->addWidget(annuler);
    envoyer_ = st::bouton(QStringLiteral("Envoyer le ticket"), QStringLiteral("primaire"), page);
    envoyer_->setObjectName(QStringLiteral("envoyerTicket"));
    connect(envoyer_, &QPushButton::clicked, this, [this] { app_->envoyerFormulaire(); });
    bas->addWidget(envoyer_);
    l->addLayout(bas);
    return page;
}

QWidget* EcranAide::construireFil()
{
    auto* page = new QWidget(this);
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(8);
    sujetFil_ = st::etiquette({}, QStringLiteral("titreSection"), page);
    l->addWidget(sujetFil_);
    auto* interieur = new QWidget;
    messagesFil_ = new QVBoxLayout(interieur);
    messagesFil_->setContentsMargins(0, 0, 8, 0);
    messagesFil_->setSpacing(10);
    l->addWidget(defilant(interieur, page), 1);
    piecesReponse_ = new QVBoxLayout;
    l->addLayout(piecesReponse_);
    erreurReponse_ = texteLong({}, QStringLiteral("erreur"), page);
    l->addWidget(erreurReponse_);
    reponse_ = new QPlainTextEdit(page);
    reponse_->setObjectName(QStringLiteral("reponseTicket"));
    reponse_->setPlaceholderText(QStringLiteral("Votre réponse…"));
    reponse_->setFixedHeight(72);
    l->addWidget(reponse_);
    auto* bas = new QHBoxLayout;
    auto* pieces = new QWidget(page);
    auto* ph = new QHBoxLayout(pieces);
    ph->setContentsMargins(0, 0, 0, 0);
    // The reply's files go to whichever ticket is shown.
    auto cible = [this] { return Cible::reponse(app_->demandeOuverte().value_or(QString())); };
    auto* capture = st::bouton(QStringLiteral("Capture d'écran"), QStringLiteral("secondaire"), pieces);
    auto* coller = st::bouton(QStringLiteral("Coller une image"), QStringLiteral("secondaire"), pieces);
    auto* fichier = st::bouton(QStringLiteral("Joindre un fichier…"), QStringLiteral("secondaire"), pieces);
    connect(capture, &QPushButton::clicked, this, [this, cible] { app_->capturer(cible()); });
    connect(coller, &QPushButton::clicked, this, [this, cible] { app_->collerImage(cible(), QGuiApplication::clipboard()->image()); });
    connect(fichier, &QPushButton::clicked, this, [this, cible] {
        const QString chemin = QFileDialog::getOpenFileName(this, QStringLiteral("Joindre un fichier"));
        if (!chemin.isEmpty())
            app_->ajouterFichier(cible(), chemin);
    });
    ph->addWidget(capture);
    ph->addWidget(coller);
    ph->addWidget(fichier);
    bas->addWidget(pieces);
    bas->addStretch(1);
    repondre_ = st::bouton(QStringLiteral("Répondre"), QStringLiteral("primaire"), page);
    connect(repondre_, &QPushButton::clicked, this, [this] {
        if (const auto id = app_->demandeOuverte())
            app_->repondre(*id, reponse_->toPlainText());
    });
    bas->addWidget(repondre_);
    l->addLayout(bas);
    return page;
}

void EcranAide::majListe()
{
    st::vider(liste_);
    if (app_->chargementDemandes() && app_->demandes().isEmpty())
        etatListe_->setText(QStringLiteral("Chargement de vos tickets…"));
    else if (const auto& e = app_->erreurDemandes())
        etatListe_->setText(*e);
    else if (app_->demandes().isEmpty())
        etatListe_->setText(QStringLiteral("Aucun ticket pour le moment."));
    else
        etatListe_->clear();
    etatListe_->setProperty("role", app_->erreurDemandes() ? QStringLiteral("erreur") : QStringLiteral("legende"));
    etatListe_->style()->polish(etatListe_);
    for (const DemandeAide& d : app_->demandes()) {
        auto* ligne = new st::LigneCliquable(this);
        ligne->setProperty("role", app_->demandeOuverte() == d.id ? QStringLiteral("encart") : QStringLiteral("carte"));
        auto* v = new QVBoxLayout(ligne);
        v->setContentsMargins(12, 8, 12, 8);
        v->setSpacing(2);
        auto* titre = st::etiquette((d.nonLu ? QStringLiteral("● ") : QString()) + d.sujet, QStringLiteral("titreCarte"), ligne);
        titre->setWordWrap(true);
        v->addWidget(titre);
        QString sous = d.dernierAuteur == QLatin1String("support") ? QStringLiteral("Nolwe a répondu") : QStringLiteral("En attente de réponse");
        if (d.statut == QLatin1String("ferme") || d.statut == QLatin1String("resolu"))
            sous = QStringLiteral("Résolu");
        if (const QString q = quand(d.dernierMessageLe); !q.isEmpty())
            sous += QStringLiteral(" · ") + q;
        v->addWidget(st::etiquette(sous, QStringLiteral("legende"), ligne));
        const QString id = d.id;
        connect(ligne, &st::LigneCliquable::clique, this, [this, id] {
            app_->fermerFormulaire();
            app_->ouvrirDemande(id);
        });
        liste_->addWidget(ligne);
    }
    liste_->addStretch(1);
}

void EcranAide::majFil()
{
    const auto id = app_->demandeOuverte();
    const DemandeAide* d = id ? app_->demande(*id) : nullptr;
    if (!d)
        return;
    if (filAffiche_ != d->id) {
        filAffiche_ = d->id;
        reponse_->clear();
    }
    sujetFil_->setText(d->sujet);
    st::vider(messagesFil_);
    for (const MessageDemande& m : d->messages) {
        const bool client = m.auteur != QLatin1String("support");
        auto* bulle = st::carte(client ? QStringLiteral("bulleVous") : QStringLiteral("bulleProspect"));
        bulle->setMaximumWidth(620);
        auto* bl = new QVBoxLayout(bulle);
        bl->setContentsMargins(12, 8, 12, 8);
        QString entete = client ? QStringLiteral("Vous") : QStringLiteral("Nolwe");
        if (m.conversationIA)
            entete += QStringLiteral(" · conversation avec l'aide");
        if (const QString q = quand(m.creeLe); !q.isEmpty())
            entete += QStringLiteral(" · ") + q;
        bl->addWidget(st::etiquette(entete, QStringLiteral("legende"), bulle));
        bl->addWidget(texteLong(m.texte, {}, bulle));
        for (const PieceServeur& p : m.pieces) {
            auto* b = st::bouton(QStringLiteral("📎 ") + p.nom, QStringLiteral("lien"), bulle);
            const QString pid = p.id;
            connect(b, &QPushButton::clicked, this, [this, pid] { ouvrirPieceServeur(pid); });
            bl->addWidget(b, 0, Qt::AlignLeft);
        }
        messagesFil_->addWidget(bulle, 0, client ? Qt::AlignRight : Qt::AlignLeft);
    }
    messagesFil_->addStretch(1);
    remplirPieces(piecesReponse_, Cible::reponse(d->id));
    erreurReponse_->setText(app_->erreurReponse().value_or(app_->erreurPieces().value_or(QString())));
    repondre_->setEnabled(!app_->envoiReponse());
}

void EcranAide::majFormulaire()
{
    const AideApp::Formulaire& f = app_->formulaire();
    if (sujet_->text() != f.sujet)
        sujet_->setText(f.sujet);
    if (message_->toPlainText() != f.message) {
        const QSignalBlocker b(message_);
        message_->setPlainText(f.message);
    }
    {
        const QSignalBlocker b(avecConversation_);
        avecConversation_->setChecked(f.avecConversation);
    }
    avecConversation_->setVisible(!app_->conversation().isEmpty());
    remplirPieces(piecesFormulaire_, Cible::formulaire());
    erreurFormulaire_->setText(f.erreur.value_or(app_->erreurPieces().value_or(QString())));
    envoyer_->setEnabled(!f.envoi);
    envoyer_->setText(f.envoi ? QStringLiteral("Envoi…") : QStringLiteral("Envoyer le ticket"));
}

void EcranAide::ouvrirPieceServeur(const QString& id)
{
    QPointer<EcranAide> moi(this);
    app_->lien(id).then([moi](const cloud::ResultatCloud<QUrl>& r) {
        if (moi && r)
            QDesktopServices::openUrl(r.valeur());
    });
}

void EcranAide::maj()
{
    const bool aide = app_->onglet() == AideApp::Onglet::aide;
    pile_->setCurrentIndex(aide ? 0 : 1);
    ongletAide_->setChecked(aide);
    ongletDemandes_->setChecked(!aide);
    // The tab shown reads as the primary button.
    for (QPushButton* b : {ongletAide_, ongletDemandes_}) {
        b->setProperty("role", b->isChecked() ? QStringLiteral("primaire") : QStringLiteral("secondaire"));
        b->style()->unpolish(b);
        b->style()->polish(b);
    }
    ongletDemandes_->setText(app_->nonLus() > 0 ? QStringLiteral("Demandes (%1)").arg(app_->nonLus()) : QStringLiteral("Demandes"));
    bandeau_->setVisible(!app_->disponible());
    erreurChat_->setText(aide ? app_->erreurPieces().value_or(QString()) : QString());
    erreurChat_->setVisible(!erreurChat_->text().isEmpty());
    confirmation_->setText(app_->confirmation().value_or(QString()));
    confirmation_->setVisible(app_->confirmation().has_value());
    majChat();
    majListe();
    if (app_->formulaireOuvert()) {
        droite_->setCurrentIndex(1);
        majFormulaire();
    } else if (app_->demandeOuverte() && app_->demande(*app_->demandeOuverte())) {
        droite_->setCurrentIndex(2);
        majFil();
    } else {
        droite_->setCurrentIndex(0);
    }
}

} // namespace vd::assistant
