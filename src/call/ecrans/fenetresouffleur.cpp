#include "fenetresouffleur.h"

#include "platform/formulation.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace vd::call {

namespace {

struct Palette {
    QString fond, texte, discret, trait, bandeau, bandeauTexte, bouton, boutonTexte;
};

Palette paletteDe(const QString& theme)
{
    if (theme == QLatin1String("clair"))
        return {"#FFFFFF", "#1C1D21", "#5F6270", "#E6E6E1", "#FFF3DC", "#7A4A00", "#F7F7F5", "#1C1D21"};
    return {"#15161A", "#F2F2EF", "#A3A6B3", "#2A2C33", "#3A2A0C", "#FFD48A", "#23252B", "#F2F2EF"};
}

int taillePour(const QString& taille)
{
    if (taille == QLatin1String("petit"))
        return 13;
    if (taille == QLatin1String("grand"))
        return 18;
    return 15;
}

QString couleurVoyant(ai::ModeEcoute m)
{
    switch (m) {
    case ai::ModeEcoute::ecoute:
        return QStringLiteral("#0E9F6E");
    case ai::ModeEcoute::alerte:
    case ai::ModeEcoute::pause:
        return QStringLiteral("#B76E00");
    case ai::ModeEcoute::coupee:
        return QStringLiteral("#D93F3F");
    case ai::ModeEcoute::connexion:
        return QStringLiteral("#0044FF");
    case ai::ModeEcoute::repos:
    case ai::ModeEcoute::fini:
        break;
    }
    return QStringLiteral("#878A94");
}

QLabel* etiquette(QWidget* parent, const QString& nom)
{
    auto* l = new QLabel(parent);
    l->setObjectName(nom);
    // Model and transcript text is never interpreted as markup.
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

} // namespace

FenetreSouffleur::FenetreSouffleur(ai::PanneauSouffleur& panneau, QWidget* parent, Mode mode)
    : QWidget(parent, mode == Mode::flottant
                          ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus
                          : Qt::Widget),
      panneau_(panneau)
{
    if (mode == Mode::flottant) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        hide();
    }
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Quillo"));
    construire();
    connect(&panneau_, &ai::PanneauSouffleur::change, this, &FenetreSouffleur::rafraichir);
    rafraichir();
}

void FenetreSouffleur::construire()
{
    auto* racine = new QVBoxLayout(this);
    racine->setContentsMargins(0, 0, 0, 0);
    cadre_ = new QFrame(this);
    cadre_->setObjectName(QStringLiteral("cadre"));
    racine->addWidget(cadre_);
    auto* v = new QVBoxLayout(cadre_);
    v->setContentsMargins(12, 8, 12, 12);
    v->setSpacing(8);

    // The pill: listening indicator, its message, fold and tools.
    auto* pilule = new QHBoxLayout;
    voyant_ = new QLabel(cadre_);
    voyant_->setObjectName(QStringLiteral("voyant"));
    voyant_->setFixedSize(10, 10);
    message_ = etiquette(cadre_, QStringLiteral("message"));
    message_->setWordWrap(false);
    message_->setToolTip(ai::libelles::glisser);
    btnOutils_ = new QToolButton(cadre_);
    btnOutils_->setText(QStringLiteral("Outils"));
    btnOutils_->setToolTip(ai::libelles::outils);
    btnOutils_->setCheckable(true);
    btnPlier_ = new QToolButton(cadre_);
    btnPlier_->setText(QStringLiteral("–"));
    btnPlier_->setToolTip(QStringLiteral("Replier Quillo"));
    pilule->addWidget(voyant_);
    pilule->addWidget(message_, 1);
    pilule->addWidget(btnOutils_);
    pilule->addWidget(btnPlier_);
    v->addLayout(pilule);

    corps_ = new QWidget(cadre_);
    auto* c = new QVBoxLayout(corps_);
    c->setContentsMargins(0, 0, 0, 0);
    c->setSpacing(8);
    v->addWidget(corps_);

    btnRelancer_ = new QPushButton(ai::libelles::relancerTranscription, corps_);
    c->addWidget(btnRelancer_);

    bandeau_ = new QFrame(corps_);
    bandeau_->setObjectName(QStringLiteral("bandeau"));
    bandeau_->setCursor(Qt::PointingHandCursor);
    bandeau_->setToolTip(ai::libelles::objectionReperee);
    auto* b = new QVBoxLayout(bandeau_);
    b->setContentsMargins(10, 8, 10, 8);
    texteObjection_ = etiquette(bandeau_, QStringLiteral("texteObjection"));
    btnIgnorer_ = new QPushButton(ai::libelles::ignorerObjection, bandeau_);
    btnIgnorer_->setObjectName(QStringLiteral("ignorer"));
    b->addWidget(texteObjection_);
    b->addWidget(btnIgnorer_, 0, Qt::AlignRight);
    bandeau_->installEventFilter(this);
    c->addWidget(bandeau_);

    item_ = etiquette(corps_, QStringLiteral("item"));
    c->addWidget(item_);
    // The compact grid: one letter per item, ticked as the prospect states it.
    grille_ = etiquette(corps_, QStringLiteral("grille"));
    grille_->setTextFormat(Qt::RichText);
    c->addWidget(grille_);
    etape_ = etiquette(corps_, QStringLiteral("etape"));
    c->addWidget(etape_);
    questionsEtape_ = etiquette(corps_, QStringLiteral("questionsEtape"));
    questionsEtape_->setTextFormat(Qt::RichText);
    c->addWidget(questionsEtape_);

    zoneReponse_ = new QFrame(corps_);
    auto* z = new QVBoxLayout(zoneReponse_);
    z->setContentsMargins(0, 0, 0, 0);
    reponse_ = etiquette(zoneReponse_, QStringLiteral("reponse"));
    reponse_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    z->addWidget(reponse_);
    auto* nav = new QHBoxLayout;
    btnPrec_ = new QToolButton(zoneReponse_);
    btnPrec_->setText(QStringLiteral("‹"));
    btnPrec_->setToolTip(ai::libelles::precedente);
    compteur_ = etiquette(zoneReponse_, QStringLiteral("compteur"));
    compteur_->setWordWrap(false);
    btnSuiv_ = new QToolButton(zoneReponse_);
    btnSuiv_->setText(QStringLiteral("›"));
    btnSuiv_->setToolTip(ai::libelles::suivante);
    btnUtile_ = new QToolButton(zoneReponse_);
    btnUtile_->setText(QStringLiteral("Utile"));
    btnUtile_->setToolTip(ai::libelles::utile);
    btnPeuUtile_ = new QToolButton(zoneReponse_);
    btnPeuUtile_->setText(QStringLiteral("Peu utile"));
    btnPeuUtile_->setToolTip(ai::libelles::peuUtile);
    nav->addWidget(btnPrec_);
    nav->addWidget(compteur_);
    nav->addWidget(btnSuiv_);
    nav->addStretch(1);
    nav->addWidget(btnUtile_);
    nav->addWidget(btnPeuUtile_);
    z->addLayout(nav);
    c->addWidget(zoneReponse_);

    accuse_ = etiquette(corps_, QStringLiteral("accuse"));
    erreur_ = etiquette(corps_, QStringLiteral("erreur"));
    c->addWidget(accuse_);
    c->addWidget(erreur_);

    auto* aides = new QHBoxLayout;
    btnAssistance_ = new QPushButton(platform::formuler(QStringLiteral("Assistance ⌘1")), corps_);
    btnAssistance_->setToolTip(ai::libelles::assistance);
    btnQuestions_ = new QPushButton(platform::formuler(QStringLiteral("Questions ⌘2")), corps_);
    btnQuestions_->setToolTip(ai::libelles::questions);
    btnRecap_ = new QPushButton(platform::formuler(QStringLiteral("Récap ⌘3")), corps_);
    btnRecap_->setToolTip(ai::libelles::recap);
    for (QPushButton* p : {btnAssistance_, btnQuestions_, btnRecap_}) {
        p->setObjectName(QStringLiteral("aide"));
        p->setFocusPolicy(Qt::NoFocus);
        aides->addWidget(p);
    }
    c->addLayout(aides);

    champ_ = new QLineEdit(corps_);
    champ_->setPlaceholderText(ai::libelles::champQuestion);
    champ_->installEventFilter(this);
    c->addWidget(champ_);

    coaching_ = etiquette(corps_, QStringLiteral("coaching"));
    noteCoaching_ = etiquette(corps_, QStringLiteral("noteCoaching"));
    noteCoaching_->setText(ai::libelles::coachingNote);
    c->addWidget(coaching_);
    c->addWidget(noteCoaching_);

    // Tools drawer.
    tiroir_ = new QFrame(corps_);
    tiroir_->setObjectName(QStringLiteral("tiroir"));
    auto* t = new QVBoxLayout(tiroir_);
    t->setContentsMargins(0, 4, 0, 0);
    auto* ligneLiens = new QHBoxLayout;
    auto* btnFiche = new QPushButton(ai::libelles::fiche, tiroir_);
    auto* btnPage = new QPushButton(QStringLiteral("La page de l'appel"), tiroir_);
    ligneLiens->addWidget(btnFiche);
    ligneLiens->addWidget(btnPage);
    t->addLayout(ligneLiens);
    objectif_ = etiquette(tiroir_, QStringLiteral("objectif"));
    t->addWidget(objectif_);
    btnMarquer_ = new QPushButton(ai::libelles::marquer, tiroir_);
    t->addWidget(btnMarquer_);
    champNote_ = new QLineEdit(tiroir_);
    champNote_->setPlaceholderText(ai::libelles::champNote);
    champNote_->installEventFilter(this);
    t->addWidget(champNote_);
    auto* ligneAppel = new QHBoxLayout;
    auto* btnMasquer = new QPushButton(ai::libelles::masquer, tiroir_);
    btnPause_ = new QPushButton(ai::libelles::mettreEnPause, tiroir_);
    ligneAppel->addWidget(btnMasquer);
    ligneAppel->addWidget(btnPause_);
    t->addLayout(ligneAppel);
    btnTerminer_ = new QPushButton(ai::libelles::terminer, tiroir_);
    btnTerminer_->setObjectName(QStringLiteral("terminer"));
    t->addWidget(btnTerminer_);
    c->addWidget(tiroir_);

    connect(btnOutils_, &QToolButton::toggled, this, [this](bool) { rafraichir(); });
    connect(btnPlier_, &QToolButton::clicked, this, [this] { panneau_.setDeplie(!panneau_.deplie()); });
    connect(btnIgnorer_, &QPushButton::clicked, this, [this] { panneau_.ignorerObjection(); });
    connect(btnPrec_, &QToolButton::clicked, this, [this] { panneau_.precedente(); });
    connect(btnSuiv_, &QToolButton::clicked, this, [this] { panneau_.suivante(); });
    connect(btnUtile_, &QToolButton::clicked, this, [this] { panneau_.noter(true); });
    connect(btnPeuUtile_, &QToolButton::clicked, this, [this] { panneau_.noter(false); });
    connect(btnAssistance_, &QPushButton::clicked, this, [this] { (void)panneau_.aide(QStringLiteral("objection")); });
    connect(btnQuestions_, &QPushButton::clicked, this, [this] { (void)panneau_.aide(QStringLiteral("questions")); });
    connect(btnRecap_, &QPushButton::clicked, this, [this] { (void)panneau_.aide(QStringLiteral("recap")); });
    connect(champ_, &QLineEdit::returnPressed, this, [this] {
        if (panneau_.poser(champ_->text()).ok())
            champ_->clear();
        prendreLaSaisie(false);
    });
    connect(champNote_, &QLineEdit::returnPressed, this, [this] {
        if (panneau_.ajouterNote(champNote_->text()))
            champNote_->clear();
        prendreLaSaisie(false);
    });
    connect(btnMarquer_, &QPushButton::clicked, this, [this] { panneau_.marquerMoment(); });
    connect(btnMasquer, &QPushButton::clicked, this, [this] { panneau_.masquer(); });
    connect(btnPause_, &QPushButton::clicked, this, [this] { panneau_.basculerPause(); });
    connect(btnTerminer_, &QPushButton::clicked, this, [this] {
        if (panneau_.finActive())
            panneau_.confirmerFin();
        else
            panneau_.demanderFin();
    });
    connect(btnRelancer_, &QPushButton::clicked, this, [this] { panneau_.relancerTranscription(); });
    if (isWindow()) {
        setMinimumWidth(380);
        setMaximumWidth(460);
        resize(400, 200);
    }
}

void FenetreSouffleur::appliquerTheme()
{
    const model::ReglagesSouffleur& r = panneau_.reglages();
    const QString cle = r.theme + QLatin1Char('|') + r.tailleTexte;
    setWindowOpacity(std::clamp(r.opacite, 0.6, 1.0));
    if (cle == themeApplique_)
        return;
    themeApplique_ = cle;
    const Palette p = paletteDe(r.theme);
    const int t = taillePour(r.tailleTexte);
    setStyleSheet(QStringLiteral(
        "QFrame#cadre { background: %1; border: 1px solid %4; border-radius: 12px; }"
        "QLabel { color: %2; font-size: 13px; background: transparent; }"
        "QLabel#reponse { font-size: %9px; }"
        "QLabel#message { font-size: 13px; font-weight: 600; }"
        "QLabel#compteur, QLabel#noteCoaching, QLabel#objectif, QLabel#grille, QLabel#questionsEtape { color: %3; font-size: 12px; }"
        "QLabel#etape { font-size: 12px; font-weight: 600; }"
        "QLabel#accuse { color: #0E9F6E; font-size: 12px; }"
        "QLabel#erreur { color: #D93F3F; font-size: 12px; }"
        "QLabel#coaching { color: #B76E00; font-size: 13px; }"
        "QFrame#bandeau { background: %5; border-radius: 8px; }"
        "QFrame#bandeau QLabel { color: %6; font-weight: 600; }"
        "QPushButton, QToolButton { background: %7; color: %8; border: 1px solid %4; border-radius: 8px;"
        " padding: 4px 10px; font-size: 12px; }"
        "QPushButton:hover, QToolButton:hover { border-color: #0044FF; }"
        "QPushButton#aide { font-size: 12px; padding: 6px 4px; }"
        "QPushButton#terminer { color: #D93F3F; }"
        "QToolButton:checked { background: #0044FF; color: #FFFFFF; }"
        "QLineEdit { background: %7; color: %2; border: 1px solid %4; border-radius: 8px; padding: 6px 8px;"
        " font-size: 13px; }")
                      .arg(p.fond, p.texte, p.discret, p.trait, p.bandeau, p.bandeauTexte, p.bouton, p.boutonTexte)
                      .arg(t));
}

void FenetreSouffleur::rafraichir()
{
    appliquerTheme();
    const ai::PanneauSouffleur& pa = panneau_;
    const model::ReglagesSouffleur& r = pa.reglages();
    const bool uneLigne = r.modeUneLigne;

    voyant_->setStyleSheet(QStringLiteral("background: %1; border-radius: 5px;").arg(couleurVoyant(pa.mode())));
    message_->setText(pa.messageEcoute());

    const auto objection = pa.objectionAffichee();
    bandeau_->setVisible(objection.has_value() && !uneLigne);
    if (objection)
        texteObjection_->setText(ai::libelles::objectionReperee + QStringLiteral("\n«\u00A0") + objection->extrait +
                                 QStringLiteral("\u00A0»"));
    const QString item = pa.itemAObtenir();
    item_->setText(item);
    item_->setVisible(!item.isEmpty() && !uneLigne);

    QStringList cases;
    for (const ai::PanneauSouffleur::ItemGrille& g : pa.grilleCochee())
        cases << (g.entendu ? QStringLiteral("<b>✓ %1</b>") : QStringLiteral("<span style=\"opacity:0.6\">○ %1</span>"))
                     .arg(g.nom.toHtmlEscaped());
    grille_->setText(cases.join(QStringLiteral(" &nbsp; ")));
    grille_->setVisible(!cases.isEmpty() && !uneLigne);
    const auto etape = pa.etapeCourante();
    etape_->setText(pa.titreEtape());
    etape_->setToolTip(etape ? etape->objectif : QString());
    etape_->setVisible(etape.has_value() && !uneLigne);
    QStringList questions;
    if (etape)
        for (const auto& [q, posee] : etape->questions)
            questions << (posee ? QStringLiteral("✓ <s>%1</s>") : QStringLiteral("• %1")).arg(q.toHtmlEscaped());
    questionsEtape_->setText(questions.join(QStringLiteral("<br>")));
    questionsEtape_->setVisible(!questions.isEmpty() && !uneLigne);

    const QString texte = pa.texteReponse();
    const ai::AideLive* aide = pa.reponseAffichee();
    if (uneLigne) {
        const QString ligne = texte.section(QLatin1Char('\n'), 0, 0);
        reponse_->setWordWrap(false);
        reponse_->setText(reponse_->fontMetrics().elidedText(ligne, Qt::ElideRight, 380));
    } else {
        reponse_->setWordWrap(true);
        reponse_->setText(texte);
    }
    zoneReponse_->setVisible(aide != nullptr);
    compteur_->setText(pa.compteur());
    btnPrec_->setEnabled(pa.peutPrecedente());
    btnSuiv_->setEnabled(pa.peutSuivante());
    const bool notable = aide && aide->statut == ai::AideLive::Statut::ok;
    btnUtile_->setEnabled(notable);
    btnPeuUtile_->setEnabled(notable);
    btnUtile_->setCheckable(true);
    btnPeuUtile_->setCheckable(true);
    btnUtile_->setChecked(notable && aide->utile == true);
    btnPeuUtile_->setChecked(notable && aide->utile == false);
    for (QWidget* w : {static_cast<QWidget*>(btnPrec_), static_cast<QWidget*>(btnSuiv_), static_cast<QWidget*>(compteur_),
                       static_cast<QWidget*>(btnUtile_), static_cast<QWidget*>(btnPeuUtile_)})
        w->setVisible(!uneLigne);

    accuse_->setText(pa.accuse().value_or(QString()));
    accuse_->setVisible(pa.accuse().has_value());
    const QString err = pa.messageBref().value_or(pa.erreurLocale().value_or(QString()));
    erreur_->setText(err);
    erreur_->setVisible(!err.isEmpty());

    const QStringList alertes = pa.coaching();
    coaching_->setText(alertes.join(QLatin1Char('\n')));
    coaching_->setVisible(!alertes.isEmpty() && !uneLigne);
    noteCoaching_->setVisible(!alertes.isEmpty() && !uneLigne);

    btnRelancer_->setVisible(pa.mode() == ai::ModeEcoute::coupee);
    for (QWidget* w : {static_cast<QWidget*>(btnAssistance_), static_cast<QWidget*>(btnQuestions_),
                       static_cast<QWidget*>(btnRecap_), static_cast<QWidget*>(champ_)})
        w->setVisible(!uneLigne);

    tiroir_->setVisible(btnOutils_->isChecked() && !uneLigne);
    objectif_->setText(pa.texteObjectif() + QLatin1Char('\n') + pa.texteBrief());
    btnPause_->setText(pa.enPause() ? ai::libelles::reprendre : ai::libelles::mettreEnPause);
    btnTerminer_->setText(pa.finActive() ? ai::libelles::confirmerFin + QStringLiteral(" (%1)").arg(pa.secondesFin())
                                         : ai::libelles::terminer);
    btnTerminer_->setToolTip(pa.finActive() ? ai::libelles::confirmerFin : QString());

    corps_->setVisible(pa.deplie());
    btnPlier_->setText(pa.deplie() ? QStringLiteral("–") : QStringLiteral("+"));
    appliquerVisibilite();
    if (isVisible())
        ajusterHauteur();
}

void FenetreSouffleur::setVoulue(bool voulue)
{
    voulue_ = voulue;
    appliquerVisibilite();
}

void FenetreSouffleur::appliquerVisibilite()
{
    const bool montrer = voulue_ && panneau_.visible();
    if (montrer == isVisible())
        return;
    setVisible(montrer);
    if (montrer && isWindow())
        raise();   // above the windows shown since, even without a window manager
}

void FenetreSouffleur::placerParDefaut()
{
    // Top right of the screen, clear of the edges; a place chosen by dragging is kept
    // as long as it is still on a screen.
    QScreen* ecran = deplacee_ ? QGuiApplication::screenAt(geometry().center()) : nullptr;
    if (ecran)
        return;
    deplacee_ = false;
    ecran = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!ecran)
        return;
    const QRect zone = ecran->availableGeometry();
    constexpr int marge = 24;
    move(zone.x() + zone.width() - marge - width(), zone.top() + marge);
}

void FenetreSouffleur::ajusterHauteur()
{
    if (!isWindow())
        return;   // docked: the screen's layout sizes it
    // Word-wrapped text needs its height for the panel's width, not its one-line size hint.
    if (QLayout* l = layout()) {
        // Nested layouts cache their children's heights: a label whose text just changed
        // would keep its old one-line height until the next pass of the event loop.
        for (QLayout* enfant : findChildren<QLayout*>())
            enfant->invalidate();
        l->invalidate();
        l->activate();
        const int w = std::clamp(width(), minimumWidth(), maximumWidth());
        const int h = l->hasHeightForWidth() ? l->totalHeightForWidth(w) : l->totalSizeHint().height();
        resize(w, std::max(h, l->totalMinimumSize().height()));
    }
}

void FenetreSouffleur::prendreLaSaisie(bool oui)
{
    if (!isWindow())
        return;   // docked: the main window takes the keyboard as usual
    // The panel takes the keyboard only while the user types in one of its fields.
    const bool refuse = windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus);
    if (oui == !refuse)
        return;
    const bool visible = isVisible();
    const QPoint pos = this->pos();
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, !oui);
    if (visible) {
        move(pos);
        show();
        if (oui)
            activateWindow();
    }
}

bool FenetreSouffleur::eventFilter(QObject* o, QEvent* e)
{
    if (o == bandeau_ && e->type() == QEvent::MouseButtonRelease) {
        (void)panneau_.cliquerObjection();
        return true;
    }
    if ((o == champ_ || o == champNote_) && e->type() == QEvent::MouseButtonPress) {
        prendreLaSaisie(true);
        static_cast<QWidget*>(o)->setFocus(Qt::MouseFocusReason);
    }
    if ((o == champ_ || o == champNote_) && e->type() == QEvent::FocusOut)
        prendreLaSaisie(false);
    return QWidget::eventFilter(o, e);
}

void FenetreSouffleur::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    ajusterHauteur();
    if (isWindow())
        placerParDefaut();
}

bool FenetreSouffleur::event(QEvent* e)
{
    const bool r = QWidget::event(e);
    // A text change reaches the window's layout one nesting level per pass of the
    // event loop; when it arrives, grow or shrink to what the content needs.
    if (e->type() == QEvent::LayoutRequest && isWindow() && isVisible() && layout() && layout()->hasHeightForWidth()) {
        const int h = std::max(layout()->totalHeightForWidth(width()), layout()->totalMinimumSize().height());
        if (h != height())
            resize(width(), h);
    }
    return r;
}

void FenetreSouffleur::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && panneau_.finActive()) {
        panneau_.annulerFin();
        return;
    }
    QWidget::keyPressEvent(e);
}

void FenetreSouffleur::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && isWindow()) {
        glisse_ = true;
        origineGlisse_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    QWidget::mousePressEvent(e);
}

void FenetreSouffleur::mouseMoveEvent(QMouseEvent* e)
{
    if (glisse_ && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - origineGlisse_);
        deplacee_ = true;
    }
    QWidget::mouseMoveEvent(e);
}

void FenetreSouffleur::mouseReleaseEvent(QMouseEvent* e)
{
    glisse_ = false;
    QWidget::mouseReleaseEvent(e);
}

} // namespace vd::call
