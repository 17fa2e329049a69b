#include "ecranenappel.h"

#include "app/ui.h"
#include "ui/ecrans/libelles.h"
#include "ui/ecrans/style.h"
#include "assistant/ecrans/panneauquilloappel.h"
#include "call/ecrans/fenetresouffleur.h"
#include "call/sessionappel.h"
#include "model/store.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

namespace vd::app {

namespace {

bool actif(call::SessionAppel* s)
{
    if (!s)
        return false;
    const call::EtatSession e = s->etat();
    return e == call::EtatSession::connexion || e == call::EtatSession::enCours || e == call::EtatSession::pause;
}

QString offset(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, ms / 1000);
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

constexpr int finalsMax = 300;   // the screen keeps the latest ones; the sheet has them all

} // namespace

EcranEnAppel::EcranEnAppel(Contexte& ctx, QWidget* parent) : EcranBase(ctx, parent)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 8, 0, 16);
    l->setSpacing(12);

    // Top bar: clock, state, levels, controls.
    auto* barre = style::carte(QStringLiteral("carte"), this);
    auto* h = new QHBoxLayout(barre);
    h->setContentsMargins(20, 12, 20, 12);
    h->setSpacing(20);
    auto* gauche = new QVBoxLayout;
    gauche->setSpacing(0);
    horloge_ = style::etiquette(QStringLiteral("00:00"), QStringLiteral("horloge"), barre);
    horloge_->setObjectName(QStringLiteral("horloge"));
    gauche->addWidget(horloge_);
    etatTranscription_ = style::etiquette({}, QStringLiteral("legende"), barre);
    etatTranscription_->setObjectName(QStringLiteral("etatTranscription"));
    gauche->addWidget(etatTranscription_);
    h->addLayout(gauche);
    auto* niveaux = new QVBoxLayout;
    niveaux->setSpacing(6);
    auto ligneNiveau = [&](const QString& nom, const QString& role) {
        auto* lh = new QHBoxLayout;
        auto* n = style::etiquette(nom, QStringLiteral("legende"), barre);
        n->setFixedWidth(64);
        lh->addWidget(n);
        auto* b = new QProgressBar(barre);
        b->setRange(0, 100);
        b->setTextVisible(false);
        b->setFixedHeight(8);
        b->setFixedWidth(160);
        b->setProperty("role", role);
        lh->addWidget(b);
        niveaux->addLayout(lh);
        return b;
    };
    niveauVous_ = ligneNiveau(QStringLiteral("Vous"), QStringLiteral("vous"));
    niveauProspect_ = ligneNiveau(QStringLiteral("Prospect"), QStringLiteral("prospect"));
    h->addLayout(niveaux);
    contact_ = style::etiquette({}, QStringLiteral("secondaire"), barre);
    contact_->setWordWrap(true);   // a long name wraps rather than widening the window
    h->addWidget(contact_, 1);
    souffleur_ = style::bouton(QStringLiteral("Quillo"), {}, barre);
    souffleur_->setIcon(style::icone(QStringLiteral("flotter"), style::couleur::texte, 16));
    souffleur_->setToolTip(QStringLiteral("Afficher ou masquer Quillo (Ctrl+Alt+S)"));
    h->addWidget(souffleur_);
    ancrer_ = style::bouton(QStringLiteral("Ancrer"), {}, barre);
    ancrer_->setIcon(style::icone(QStringLiteral("ancrer"), style::couleur::texte, 16));
    ancrer_->setObjectName(QStringLiteral("ancrer"));
    h->addWidget(ancrer_);
    pause_ = style::bouton(QStringLiteral("Pause"), {}, barre);
    pause_->setIcon(style::icone(QStringLiteral("pause"), style::couleur::texte, 16));
    h->addWidget(pause_);
    arreter_ = style::bouton(QStringLiteral("Terminer l'appel"), QStringLiteral("danger"), barre);
    arreter_->setIcon(style::icone(QStringLiteral("stop"), style::couleur::danger, 16));
    arreter_->setObjectName(QStringLiteral("terminer"));
    h->addWidget(arreter_);
    l->addWidget(barre);

    erreur_ = style::etiquette({}, QStringLiteral("erreur"), this);
    erreur_->setWordWrap(true);
    relancer_ = style::bouton(QStringLiteral("Relancer la transcription"), {}, this);
    auto* ligneErreur = new QHBoxLayout;
    ligneErreur->addWidget(erreur_, 1);
    ligneErreur->addWidget(relancer_);
    l->addLayout(ligneErreur);
    coaching_ = new QHBoxLayout;
    coaching_->setSpacing(8);
    l->addLayout(coaching_);

    auto* corps = new QHBoxLayout;
    corps->setSpacing(16);
    // Transcript.
    defil_ = new QScrollArea(this);
    defil_->setWidgetResizable(true);
    defil_->setObjectName(QStringLiteral("page"));
    auto* interieur = new QWidget(defil_);
    interieur->setObjectName(QStringLiteral("pageInterieur"));
    auto* iv = new QVBoxLayout(interieur);
    iv->setContentsMargins(4, 4, 12, 4);
    iv->setSpacing(8);
    vide_ = style::etiquette(QStringLiteral("Le transcript s'affiche ici dès que quelqu'un parle."), QStringLiteral("secondaire"), interieur);
    iv->addWidget(vide_);
    transcript_ = new QVBoxLayout;
    transcript_->setSpacing(8);
    iv->addLayout(transcript_);
    partiels_ = new QVBoxLayout;
    partiels_->setSpacing(8);
    iv->addLayout(partiels_);
    iv->addStretch(1);
    defil_->setWidget(interieur);
    corps->addWidget(defil_, 3);
    connect(defil_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int max) {
        defil_->verticalScrollBar()->setValue(max);   // follow the conversation
    });

    // Side: notes, moments, next step.
    auto* colonne = new QVBoxLayout;
    colonne->setSpacing(12);
    if (ctx_.panneau) {
        vueSouffleur_ = new call::FenetreSouffleur(*ctx_.panneau, this, call::FenetreSouffleur::Mode::ancre);
        vueSouffleur_->setObjectName(QStringLiteral("souffleurAncre"));
        vueSouffleur_->setFixedWidth(380);
        colonne->addWidget(vueSouffleur_);
    }
    if (ctx_.store) {
        auto* quillo = new assistant::PanneauQuilloAppel(*ctx_.store, ctx_.session, ctx_.horloge, this);
        quillo->setObjectName(QStringLiteral("quilloAppel"));
        quillo->setFixedWidth(380);
        colonne->addWidget(quillo);
    }
    auto* cote = style::carte(QStringLiteral("carte"), this);
    cote->setFixedWidth(380);
    colonne->addWidget(cote, 1);
    auto* cv = new QVBoxLayout(cote);
    cv->setContentsMargins(16, 16, 16, 16);
    cv->setSpacing(8);
    cv->addWidget(style::etiquette(QStringLiteral("Notes"), QStringLiteral("titreCarte"), cote));
    note_ = new QLineEdit(cote);
    note_->setObjectName(QStringLiteral("note"));
    note_->setPlaceholderText(QStringLiteral("Une note, Entrée pour l'ajouter"));
    cv->addWidget(note_);
    moment_ = style::bouton(QStringLiteral("Marquer un moment"), {}, cote);
    moment_->setIcon(style::icone(QStringLiteral("drapeau"), style::couleur::texte, 16));
    cv->addWidget(moment_, 0, Qt::AlignLeft);
    // The notes scroll inside the card: a long call's notes never stretch the window.
    defilNotes_ = new QScrollArea(cote);
    defilNotes_->setWidgetResizable(true);
    defilNotes_->setFrameShape(QFrame::NoFrame);
    defilNotes_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    defilNotes_->setObjectName(QStringLiteral("listeNotes"));
    auto* listeNotes = new QWidget(defilNotes_);
    listeNotes->setObjectName(QStringLiteral("listeNotesInterieur"));
    notes_ = new QVBoxLayout(listeNotes);
    notes_->setContentsMargins(0, 0, 0, 0);
    notes_->setSpacing(4);
    notes_->addStretch(1);
    defilNotes_->setWidget(listeNotes);
    cv->addWidget(defilNotes_, 1);
    connect(defilNotes_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int max) {
        defilNotes_->verticalScrollBar()->setValue(max);   // the latest note in view
    });
    cv->addSpacing(8);
    cv->addWidget(style::etiquette(QStringLiteral("Prochaine étape"), QStringLiteral("titreCarte"), cote));
    prochaine_ = new QLineEdit(cote);
    prochaine_->setPlaceholderText(QStringLiteral("Ce qui est convenu avec le prospect"));
    cv->addWidget(prochaine_);
    corps->addLayout(colonne);
    l->addLayout(corps, 1);

    minuterie_ = new QTimer(this);
    minuterie_->setInterval(250);
    connect(minuterie_, &QTimer::timeout, this, &EcranEnAppel::majHorloge);

    call::SessionAppel* s = ctx_.session;
    if (!s)
        return;
    connect(pause_, &QPushButton::clicked, s, [s] {
        if (s->etat() == call::EtatSession::pause)
            s->reprendre();
        else
            s->pause();
    });
    connect(arreter_, &QPushButton::clicked, s, &call::SessionAppel::arreter);
    connect(relancer_, &QPushButton::clicked, s, &call::SessionAppel::relancerTranscription);
    connect(moment_, &QPushButton::clicked, s, [s] { s->marquerMoment(); });
    connect(souffleur_, &QPushButton::clicked, this, [this] {
        if (ctx_.basculerSouffleur)
            ctx_.basculerSouffleur();
    });
    connect(ancrer_, &QPushButton::clicked, this, [this] {
        if (ctx_.ancrerSouffleur && ctx_.souffleurAncre)
            ctx_.ancrerSouffleur(!ctx_.souffleurAncre());
        majSouffleur();
    });
    connect(note_, &QLineEdit::returnPressed, this, [this, s] {
        const QString t = note_->text().trimmed();
        if (t.isEmpty())
            return;
        s->ajouterNote(t);
        note_->clear();
    });
    connect(prochaine_, &QLineEdit::editingFinished, this, [this, s] {
        const QString t = prochaine_->text().trimmed();
        s->definirProchaineEtape(t.isEmpty() ? std::nullopt : std::optional(model::ProchaineAction{t, {}}));
    });
    connect(s, &call::SessionAppel::etatChange, this, &EcranEnAppel::majEtat);
    connect(s, &call::SessionAppel::transcriptionChange, this, &EcranEnAppel::majEtat);
    connect(s, &call::SessionAppel::erreurChange, this, &EcranEnAppel::majEtat);
    connect(s, &call::SessionAppel::transcriptChange, this, &EcranEnAppel::majTranscript);
    connect(s, &call::SessionAppel::coachingChange, this, &EcranEnAppel::majCoaching);
    connect(s, &call::SessionAppel::notesChange, this, &EcranEnAppel::majNotes);
    connect(s, &call::SessionAppel::niveauxChange, this, [this, s] {
        if (!isVisible())
            return;
        niveauVous_->setValue(int(s->niveaux().first * 100));
        niveauProspect_->setValue(int(s->niveaux().second * 100));
    });
}

QString EcranEnAppel::titre() const
{
    if (!ctx_.session || ctx_.session->etat() == call::EtatSession::inactif)
        return QStringLiteral("Appel");
    if (ctx_.session->estGuide())
        return QStringLiteral("Appel simulé");
    return ctx_.session->etat() == call::EtatSession::termine ? QStringLiteral("Appel terminé") : QStringLiteral("Appel en cours");
}

QString EcranEnAppel::formaterHorloge(double secondes)
{
    const qint64 s = qint64(std::max(0.0, secondes));
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString EcranEnAppel::horlogeAffichee() const
{
    return horloge_->text();
}

void EcranEnAppel::toutMettreAJour()
{
    reconstruire_ = true;
    majEtat();
    majTranscript();
    majCoaching();
    majNotes();
}

void EcranEnAppel::majHorloge()
{
    if (ctx_.session)
        horloge_->setText(formaterHorloge(ctx_.session->secondesEcoulees()));
}

void EcranEnAppel::majEtat()
{
    call::SessionAppel* s = ctx_.session;
    const bool enCours = actif(s);
    majHorloge();
    if (enCours && !minuterie_->isActive())
        minuterie_->start();
    else if (!enCours)
        minuterie_->stop();
    if (!s) {
        etatTranscription_->clear();
        return;
    }
    QString etat = s->etatTranscription();
    if (s->etat() == call::EtatSession::pause)
        etat = QStringLiteral("Appel en pause : la transcription est suspendue.");
    else if (s->etat() == call::EtatSession::inactif)
        etat = QStringLiteral("Aucun appel en cours");
    etatTranscription_->setText(etat);
    QString qui;
    if (s->config().contactId)
        if (const model::Contact* c = ctx_.store->etat().contact(*s->config().contactId))
            qui = c->nomComplet().trimmed().isEmpty() ? c->societe : c->nomComplet() + (c->societe.isEmpty() ? QString() : QStringLiteral(" · ") + c->societe);
    if (enCours)
        qui += (qui.isEmpty() ? QString() : QStringLiteral(" — ")) + libelles::typeAppel(s->config().type);
    contact_->setText(qui);
    pause_->setEnabled(s->etat() == call::EtatSession::enCours || s->etat() == call::EtatSession::pause);
    pause_->setText(s->etat() == call::EtatSession::pause ? QStringLiteral("Reprendre") : QStringLiteral("Pause"));
    pause_->setIcon(style::icone(s->etat() == call::EtatSession::pause ? QStringLiteral("lecture") : QStringLiteral("pause"),
                                 style::couleur::texte, 16));
    pause_->setVisible(!s->estGuide());
    souffleur_->setVisible(bool(ctx_.basculerSouffleur));
    majSouffleur();
    arreter_->setEnabled(enCours);
    moment_->setEnabled(enCours);
    note_->setEnabled(enCours);
    prochaine_->setEnabled(enCours);
    erreur_->setText(s->erreurTexte());
    erreur_->setVisible(!s->erreurTexte().isEmpty());
    relancer_->setVisible(s->codeTranscription() == QLatin1String("coupee") && enCours);
    Q_EMIT enTeteChange();
}

void EcranEnAppel::majSouffleur()
{
    const bool possible = vueSouffleur_ && ctx_.souffleurAncre && ctx_.ancrerSouffleur;
    ancrer_->setVisible(possible);
    if (!possible)
        return;
    const bool ancre = ctx_.souffleurAncre();
    ancrer_->setText(ancre ? QStringLiteral("Détacher") : QStringLiteral("Ancrer"));
    ancrer_->setToolTip(ancre ? QStringLiteral("Détacher Quillo en fenêtre flottante, au-dessus de votre outil d'appel")
                              : QStringLiteral("Ancrer Quillo dans cet écran"));
    vueSouffleur_->setVoulue(ancre && actif(ctx_.session));
}

EcranEnAppel::Bulle EcranEnAppel::bulle(const QString& locuteur, const QString& texte, bool partiel, std::optional<qint64> interlocuteur)
{
    const bool vous = locuteur == QLatin1String("vous");
    Bulle b;
    b.ligne = new QWidget;
    auto* h = new QHBoxLayout(b.ligne);
    h->setContentsMargins(0, 0, 0, 0);
    auto* cadre = style::carte(vous ? QStringLiteral("bulleVous") : QStringLiteral("bulleProspect"));
    auto* v = new QVBoxLayout(cadre);
    v->setContentsMargins(12, 8, 12, 8);
    v->setSpacing(2);
    b.nom = style::etiquette({}, QStringLiteral("legende"), cadre);
    v->addWidget(b.nom);
    b.texte = style::etiquette({}, partiel ? QStringLiteral("secondaire") : QString(), cadre);
    b.texte->setWordWrap(true);
    b.texte->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (partiel)
        b.texte->setStyleSheet(QStringLiteral("color: #8A8D99; font-style: italic;"));
    v->addWidget(b.texte);
    cadre->setMaximumWidth(620);
    // Salesperson on the right, prospect on the left.
    if (vous)
        h->addStretch(1);
    h->addWidget(cadre);
    if (!vous)
        h->addStretch(1);
    remplir(b, locuteur, texte, interlocuteur);
    return b;
}

void EcranEnAppel::remplir(const Bulle& b, const QString& locuteur, const QString& texte, std::optional<qint64> interlocuteur)
{
    const QString nom = locuteur == QLatin1String("vous")
                            ? QStringLiteral("Vous")
                            : (interlocuteur && *interlocuteur > 1 ? QStringLiteral("Prospect %1").arg(*interlocuteur) : QStringLiteral("Prospect"));
    if (b.nom->text() != nom)
        b.nom->setText(nom);
    if (b.texte->text() != texte) {
        b.texte->setText(texte);
        b.texte->setMinimumWidth(std::min(460, b.texte->fontMetrics().horizontalAdvance(texte) + 8));
    }
}

void EcranEnAppel::majTranscript()
{
    call::SessionAppel* s = ctx_.session;
    if (!s || !isVisible())
        return;
    const QList<model::Segment>& finals = s->finals();
    // The bubbles follow the finals by identifier: new ones are added, those
    // gone (an echo removed, the oldest past the limit) are taken away, and a
    // text trimmed of an echo is updated in place. Nothing is rebuilt.
    if (reconstruire_ || s->appelIdTexte() != appelAffiche_) {
        style::vider(transcript_);
        affiches_.clear();
        appelAffiche_ = s->appelIdTexte();
        reconstruire_ = false;
    }
    const qsizetype debut = std::max<qsizetype>(0, finals.size() - finalsMax);
    QSet<QString> voulus;
    voulus.reserve(finals.size() - debut);
    for (qsizetype i = debut; i < finals.size(); ++i)
        voulus.insert(finals[i].id);
    qsizetype j = 0;
    for (qsizetype i = debut; i < finals.size(); ++i) {
        const model::Segment& f = finals[i];
        while (j < affiches_.size() && affiches_[j].id != f.id && !voulus.contains(affiches_[j].id))
            retirerBulle(j);
        if (j < affiches_.size() && affiches_[j].id == f.id) {
            remplir(affiches_[j].bulle, f.locuteur, f.texte, f.interlocuteur);
        } else {
            const Bulle b = bulle(f.locuteur, f.texte, false, f.interlocuteur);
            transcript_->insertWidget(int(j), b.ligne);
            affiches_.insert(j, Affiche{f.id, b});
        }
        ++j;
    }
    while (j < affiches_.size())
        retirerBulle(j);

    // One partial bubble per voice, the prospect's first, updated in place.
    auto partiel = [this, s](Bulle& b, const QString& qui) {
        const auto it = s->interims().constFind(qui);
        const bool montre = it != s->interims().constEnd() && !it->texte.trimmed().isEmpty();
        if (montre) {
            if (!b.ligne) {
                b = bulle(qui, it->texte, true, it->interlocuteur);
                partiels_->insertWidget(qui == QLatin1String("prospect") ? 0 : partiels_->count(), b.ligne);
            } else {
                remplir(b, qui, it->texte, it->interlocuteur);
            }
        }
        if (b.ligne && b.ligne->isHidden() == montre)
            b.ligne->setVisible(montre);
    };
    partiel(partielProspect_, QStringLiteral("prospect"));
    partiel(partielVous_, QStringLiteral("vous"));
    vide_->setVisible(finals.isEmpty() && s->interims().isEmpty());
}

void EcranEnAppel::retirerBulle(qsizetype i)
{
    if (QLayoutItem* it = transcript_->takeAt(int(i))) {
        delete it->widget();
        delete it;
    }
    affiches_.removeAt(i);
}

void EcranEnAppel::majCoaching()
{
    style::vider(coaching_);
    if (!ctx_.session)
        return;
    for (const call::CoachingAlerte& a : ctx_.session->coaching())
        coaching_->addWidget(style::etiquette(a.texte, QStringLiteral("chipAmbre")));
    if (!ctx_.session->coaching().isEmpty()) {
        coaching_->addWidget(style::etiquette(QStringLiteral("Coaching en direct, calculé sur cet ordinateur, sans IA."), QStringLiteral("legende")));
        coaching_->addStretch(1);
    }
}

void EcranEnAppel::majNotes()
{
    style::vider(notes_);
    call::SessionAppel* s = ctx_.session;
    if (!s)
        return;
    struct Entree {
        qint64 t;
        QString texte;
    };
    QList<Entree> e;
    for (const model::NoteAppel& n : s->notes())
        e.append({n.tMs, n.texte});
    for (const model::MomentMarque& m : s->momentsMarques())
        e.append({m.tMs, QStringLiteral("Moment marqué") + (m.note && !m.note->isEmpty() ? QStringLiteral(" : ") + *m.note : QString())});
    // In time order; those of the same moment in the order they were written.
    std::stable_sort(e.begin(), e.end(), [](const Entree& a, const Entree& b) { return a.t < b.t; });
    for (const Entree& x : e) {
        auto* l = style::etiquette(offset(x.t) + QStringLiteral(" · ") + x.texte, {});
        l->setWordWrap(true);
        notes_->addWidget(l);
    }
    notes_->addStretch(1);
    if (!prochaine_->hasFocus())
        prochaine_->setText(s->prochaineEtape() ? s->prochaineEtape()->texte : QString());
}

} // namespace vd::app
