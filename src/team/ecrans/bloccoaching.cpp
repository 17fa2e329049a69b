#include "bloccoaching.h"

#include "cloud/compte.h"
#include "team/coachingequipe.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vd::team {

using ui::style::bouton;
using ui::style::etiquette;

namespace {

QLabel* paragraphe(const QString& t, const QString& role = {})
{
    auto* l = etiquette(t, role);
    l->setWordWrap(true);
    return l;
}

struct Brouillon {
    QString texte;
    std::optional<qint64> tMs;
    QString segmentId;
    std::optional<CommentaireAppel> edition;
};
// By call id; one sheet at a time, so this stays tiny.
QHash<QString, Brouillon>& brouillons()
{
    static QHash<QString, Brouillon> b;
    return b;
}

QString milliers(int n) { return QLocale(QLocale::French).toString(n).replace(QChar(0x202F), QChar(0x00A0)); }

} // namespace

// ---- ZoneTexteLimitee ------------------------------------------------------

ZoneTexteLimitee::ZoneTexteLimitee(int limite, const QString& suffixe, const QString& placeholder, QWidget* parent)
    : QWidget(parent), limite_(limite), suffixe_(suffixe)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(4);
    edit_ = new QPlainTextEdit(this);
    edit_->setPlaceholderText(placeholder);
    edit_->setMinimumHeight(72);
    edit_->setMaximumHeight(120);
    compteur_ = etiquette(QString(), QStringLiteral("legende"), this);
    compteur_->setAlignment(Qt::AlignRight);
    l->addWidget(edit_);
    l->addWidget(compteur_);
    connect(edit_, &QPlainTextEdit::textChanged, this, [this] {
        limiter();
        Q_EMIT change();
    });
    limiter();
}

QString ZoneTexteLimitee::texte() const { return edit_->toPlainText(); }
void ZoneTexteLimitee::setTexte(const QString& t) { edit_->setPlainText(t); }

void ZoneTexteLimitee::limiter()
{
    QList<uint> points = edit_->toPlainText().toUcs4();
    if (points.size() > limite_) {
        // Typing or pasting past the limit keeps the first characters: the counter stops at its limit.
        points.resize(limite_);
        const QSignalBlocker b(edit_);
        edit_->setPlainText(QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), points.size()));
        edit_->moveCursor(QTextCursor::End);
    }
    compteur_->setText(milliers(int(points.size())) + suffixe_);
}

// ---- FeuilleNote -------------------------------------------------------------

FeuilleNote::FeuilleNote(const QString& note, bool dejaEpingle, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(textes::epingler);
    setMinimumWidth(460);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 20, 24, 20);
    l->setSpacing(12);
    l->addWidget(etiquette(dejaEpingle ? QStringLiteral("Note de l'appel exemplaire") : textes::epingler, QStringLiteral("titreCarte"), this));
    l->addWidget(paragraphe(textes::explicationEpingle, QStringLiteral("secondaire")));
    zone_ = new ZoneTexteLimitee(CoachingEquipe::maxNote, textes::compteurNote, textes::placeholderNote, this);
    zone_->setTexte(note);
    l->addWidget(zone_);
    auto* boutons = new QDialogButtonBox(this);
    boutons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    auto* ok = boutons->addButton(dejaEpingle ? QStringLiteral("Enregistrer la note") : QStringLiteral("Épingler"), QDialogButtonBox::AcceptRole);
    ok->setProperty("role", QStringLiteral("primaire"));
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    l->addWidget(boutons);
}

// ---- BlocCoaching ------------------------------------------------------------

BlocCoaching* BlocCoaching::pourAppel(ui::Contexte& ctx, const QString& appelId, QWidget* parent, bool lire)
{
    // The demonstration team is seen by its manager.
    if (ctx.coaching && ctx.coaching->demonstration() && !appelId.isEmpty())
        return new BlocCoaching(ctx, ctx.coaching, appelId, true, parent, lire);
    if (!ctx.coaching || !ctx.compte || ctx.compte->roleOrg().isEmpty() || appelId.isEmpty())
        return nullptr;
    return new BlocCoaching(ctx, ctx.coaching, appelId, ctx.compte->gestionnaire(), parent, lire);
}

BlocCoaching::~BlocCoaching()
{
    if (zone_ && (!zone_->texte().isEmpty() || tMs_ || edition_))
        brouillons().insert(appelId_, Brouillon{zone_->texte(), tMs_, segmentId_, edition_});
    else
        brouillons().remove(appelId_);
}

BlocCoaching::BlocCoaching(ui::Contexte& ctx, CoachingEquipe* coaching, const QString& appelId, bool gestionnaire, QWidget* parent,
                           bool lire)
    : QWidget(parent), ctx_(ctx), coaching_(coaching), appelId_(appelId), gestionnaire_(gestionnaire)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(16);

    bandeau_ = ui::style::carte(QStringLiteral("encart"), this);
    bandeauLayout_ = new QVBoxLayout(bandeau_);
    bandeauLayout_->setContentsMargins(20, 14, 20, 14);
    bandeauLayout_->setSpacing(6);
    l->addWidget(bandeau_);

    auto* carte = ui::style::carte(QStringLiteral("carte"), this);
    auto* c = new QVBoxLayout(carte);
    c->setContentsMargins(20, 16, 20, 16);
    c->setSpacing(8);
    c->addWidget(etiquette(QStringLiteral("Commentaires"), QStringLiteral("titreCarte"), carte));
    c->addWidget(paragraphe(textes::carteCommentaires, QStringLiteral("secondaire")));
    if (gestionnaire_)
        c->addWidget(paragraphe(textes::aideManager, QStringLiteral("legende")));
    liste_ = new QVBoxLayout;
    liste_->setSpacing(10);
    c->addLayout(liste_);
    erreur_ = paragraphe(QString(), QStringLiteral("erreur"));
    erreur_->hide();
    c->addWidget(erreur_);

    if (gestionnaire_) {
        composeur_ = new QWidget(carte);
        auto* k = new QVBoxLayout(composeur_);
        k->setContentsMargins(0, 8, 0, 0);
        k->setSpacing(6);
        cibleComposeur_ = paragraphe(QString(), QStringLiteral("legende"));
        k->addWidget(cibleComposeur_);
        zone_ = new ZoneTexteLimitee(CoachingEquipe::maxCommentaire, textes::compteurCommentaire, textes::placeholderCommentaire, composeur_);
        k->addWidget(zone_);
        auto* actions = new QHBoxLayout;
        actions->addWidget(etiquette(textes::visibleCommercial, QStringLiteral("chipGris"), composeur_));
        actions->addStretch(1);
        annuler_ = bouton(QStringLiteral("Annuler"), QString(), composeur_);
        publier_ = bouton(QStringLiteral("Publier"), QStringLiteral("primaire"), composeur_);
        actions->addWidget(annuler_);
        actions->addWidget(publier_);
        k->addLayout(actions);
        c->addWidget(composeur_);
        connect(zone_, &ZoneTexteLimitee::change, this, &BlocCoaching::majComposeur);
        connect(publier_, &QPushButton::clicked, this, [this] { publier(); });
        connect(annuler_, &QPushButton::clicked, this, &BlocCoaching::annulerComposeur);
    }
    l->addWidget(carte);

    connect(coaching_, &CoachingEquipe::change, this, &BlocCoaching::actualiser);
    if (zone_) {
        const Brouillon b = brouillons().take(appelId_);
        if (!lire) {
            tMs_ = b.tMs;
            segmentId_ = b.segmentId;
            edition_ = b.edition;
            zone_->setTexte(b.texte);
        }
    }
    actualiser();
    majComposeur();
    if (lire || !coaching_->commentaires().contains(appelId_))
        charger();
}

QCoro::Task<void> BlocCoaching::charger()
{
    QPointer<BlocCoaching> moi(this);
    const QString id = appelId_;
    auto r = co_await coaching_->chargerCommentaires(id);
    if (!moi)
        co_return;
    if (!r.ok() && !r.erreur().isEmpty())
        montrerErreur(r.erreur());
    auto e = co_await coaching_->lireExemplaire(id);
    if (!moi)
        co_return;
    if (!e.ok() && !e.erreur().isEmpty() && r.ok())
        montrerErreur(e.erreur());
}

void BlocCoaching::montrerErreur(const QString& message)
{
    erreur_->setText(message);
    erreur_->setVisible(!message.isEmpty());
}

void BlocCoaching::toast(const QString& message, bool erreur)
{
    if (ctx_.toasts && !message.isEmpty())
        ctx_.toasts->montrer(message, erreur ? ui::Toasts::Toast::Genre::erreur : ui::Toasts::Toast::Genre::ok);
}

void BlocCoaching::actualiser()
{
    remplirBandeau();
    remplirCommentaires();
}

void BlocCoaching::remplirBandeau()
{
    ui::style::vider(bandeauLayout_);
    const auto e = coaching_->epingle(appelId_);
    if (!e && !gestionnaire_) {
        bandeau_->hide();
        return;
    }
    bandeau_->show();
    auto* haut = new QHBoxLayout;
    auto* col = new QVBoxLayout;
    col->setSpacing(2);
    if (e) {
        QString titre = textes::appelExemplaire;
        if (e->epingleParNom && !e->epingleParNom->isEmpty())
            titre += textes::epinglePar + *e->epingleParNom;
        col->addWidget(etiquette(titre, QStringLiteral("titreCarte"), bandeau_));
        col->addWidget(paragraphe(textes::aEcouter, QStringLiteral("secondaire")));
        if (e->note && !e->note->isEmpty())
            col->addWidget(paragraphe(QStringLiteral("« %1 »").arg(*e->note)));
    } else {
        col->addWidget(paragraphe(QStringLiteral("Un bon exemple pour l'équipe ? Épinglez-le avec une note : toute l'équipe pourra l'écouter."),
                                     QStringLiteral("secondaire")));
    }
    haut->addLayout(col, 1);
    if (gestionnaire_) {
        auto* actions = new QVBoxLayout;
        if (e) {
            auto* note = bouton(QStringLiteral("Modifier la note"), QStringLiteral("lien"), bandeau_);
            connect(note, &QPushButton::clicked, this, [this] { basculerEpingle(); });
            auto* retirer = bouton(textes::desepingler, QString(), bandeau_);
            connect(retirer, &QPushButton::clicked, this, [this] {
                QPointer<BlocCoaching> moi(this);
                [](QPointer<BlocCoaching> b) -> QCoro::Task<void> {
                    auto r = co_await b->coaching_->desepingler(b->appelId_);
                    if (b)
                        b->toast(r.ok() ? textes::epingleRetiree : r.erreur(), !r.ok());
                }(moi);
            });
            actions->addWidget(retirer);
            actions->addWidget(note);
        } else {
            auto* pin = bouton(textes::epingler, QString(), bandeau_);
            connect(pin, &QPushButton::clicked, this, [this] { basculerEpingle(); });
            actions->addWidget(pin);
        }
        haut->addLayout(actions);
    }
    bandeauLayout_->addLayout(haut);
}

QCoro::Task<void> BlocCoaching::basculerEpingle()
{
    const auto e = coaching_->epingle(appelId_);
    FeuilleNote f(e && e->note ? *e->note : QString(), e.has_value(), this);
    if (f.exec() != QDialog::Accepted)
        co_return;
    QPointer<BlocCoaching> moi(this);
    auto r = co_await coaching_->epingler(appelId_, f.note());
    if (moi)
        toast(r.ok() ? textes::noteEnregistree : r.erreur(), !r.ok());
}

void BlocCoaching::remplirCommentaires()
{
    ui::style::vider(liste_);
    QList<CommentaireAppel> l = coaching_->commentairesDe(appelId_);
    std::stable_sort(l.begin(), l.end(), [](const CommentaireAppel& a, const CommentaireAppel& b) {
        // Moments in call order, then the whole-call comments.
        if (a.tMs.has_value() != b.tMs.has_value())
            return a.tMs.has_value();
        return a.tMs.value_or(0) < b.tMs.value_or(0);
    });
    if (l.isEmpty()) {
        liste_->addWidget(paragraphe(gestionnaire_ ? QStringLiteral("Aucun commentaire pour le moment.")
                                                   : QStringLiteral("Aucun commentaire de votre équipe sur cet appel pour le moment."),
                                     QStringLiteral("legende")));
        return;
    }
    QString groupe;
    for (const CommentaireAppel& c : l) {
        const QString g = CoachingEquipe::groupe(c);
        if (g != groupe && !c.tMs) {
            liste_->addWidget(etiquette(g, QStringLiteral("legende"), this));
        }
        groupe = g;
        liste_->addWidget(ligneCommentaire(c));
    }
}

QWidget* BlocCoaching::ligneCommentaire(const CommentaireAppel& c)
{
    auto* w = ui::style::carte(QStringLiteral("carteGrise"), this);
    auto* l = new QVBoxLayout(w);
    l->setContentsMargins(12, 10, 12, 10);
    l->setSpacing(4);
    auto* tete = new QHBoxLayout;
    if (c.tMs)
        tete->addWidget(etiquette(texteMoment(*c.tMs), QStringLiteral("chipBleu"), w));
    QString qui = c.auteurNom.value_or(QStringLiteral("Votre manager"));
    if (c.creeLe)
        qui += QStringLiteral(" · ") + ui::style::dateCourte(c.creeLe->toString(Qt::ISODateWithMs));
    tete->addWidget(etiquette(qui, QStringLiteral("legende"), w));
    tete->addStretch(1);
    tete->addWidget(etiquette(textes::visibleCommercial, QStringLiteral("legende"), w));
    l->addLayout(tete);
    auto* t = paragraphe(c.texte);
    t->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->addWidget(t);
    auto* actions = new QHBoxLayout;
    if (c.tMs) {
        auto* voir = bouton(textes::voirMoment, QStringLiteral("lien"), w);
        const qint64 t = *c.tMs;
        connect(voir, &QPushButton::clicked, this, [this, t] {
            if (voirMoment)
                voirMoment(t);
        });
        actions->addWidget(voir);
    }
    actions->addStretch(1);
    if (c.modifiable && gestionnaire_) {
        auto* modifier = bouton(QStringLiteral("Modifier"), QStringLiteral("lien"), w);
        connect(modifier, &QPushButton::clicked, this, [this, c] {
            edition_ = c;
            tMs_ = c.tMs;
            zone_->setTexte(c.texte);
            majComposeur();
            zone_->editeur()->setFocus();
        });
        actions->addWidget(modifier);
    }
    if (c.supprimable) {
        auto* suppr = bouton(QStringLiteral("Supprimer"), QStringLiteral("lien"), w);
        connect(suppr, &QPushButton::clicked, this, [this, c] { supprimer(c); });
        actions->addWidget(suppr);
    }
    l->addLayout(actions);
    return w;
}

QCoro::Task<void> BlocCoaching::supprimer(CommentaireAppel c)
{
    if (QMessageBox::question(this, QStringLiteral("Supprimer"), textes::confirmerSuppression, QMessageBox::Yes | QMessageBox::Cancel)
        != QMessageBox::Yes)
        co_return;
    QPointer<BlocCoaching> moi(this);
    auto r = co_await coaching_->supprimerCommentaire(appelId_, c.id);
    if (!moi)
        co_return;
    if (edition_ && edition_->id == c.id)
        annulerComposeur();
    toast(r.ok() ? textes::supprime : r.erreur(), !r.ok());
}

void BlocCoaching::commenterMoment(qint64 tMs, const QString& segmentId)
{
    if (!zone_)
        return;
    edition_.reset();
    tMs_ = tMs;
    segmentId_ = segmentId;
    majComposeur();
    zone_->editeur()->setFocus();
}

void BlocCoaching::annulerComposeur()
{
    if (!zone_)
        return;
    edition_.reset();
    tMs_.reset();
    segmentId_.clear();
    zone_->setTexte(QString());
    majComposeur();
}

void BlocCoaching::majComposeur()
{
    if (!zone_)
        return;
    if (edition_)
        cibleComposeur_->setText(QStringLiteral("Modifier le commentaire") +
                                 (tMs_ ? QStringLiteral(" à ") + texteMoment(*tMs_) : QStringLiteral(" sur l'appel entier")));
    else if (tMs_)
        cibleComposeur_->setText(textes::commenterMoment + QStringLiteral(" (") + texteMoment(*tMs_) + QStringLiteral(")."));
    else
        cibleComposeur_->setText(textes::surAppelEntier);
    publier_->setText(edition_ ? QStringLiteral("Enregistrer") : QStringLiteral("Publier"));
    publier_->setEnabled(!occupe_ && !CoachingEquipe::verifierCommentaire(zone_->texte()));
    annuler_->setVisible(edition_ || tMs_ || !zone_->texte().isEmpty());
}

QCoro::Task<void> BlocCoaching::publier()
{
    if (!zone_ || occupe_)
        co_return;
    QPointer<BlocCoaching> moi(this);
    occupe_ = true;
    majComposeur();
    const bool edition = edition_.has_value();
    std::optional<ResultatCoaching<CommentaireAppel>> envoi;
    if (edition)
        envoi.emplace(co_await coaching_->modifierCommentaire(appelId_, edition_->id, zone_->texte(), tMs_));
    else
        envoi.emplace(co_await coaching_->commenter(appelId_, zone_->texte(), tMs_));
    if (!moi)
        co_return;
    const auto& r = *envoi;
    occupe_ = false;
    if (r.ok()) {
        annulerComposeur();
        montrerErreur(QString());
        toast(edition ? textes::modifie : textes::publie);
    } else {
        if (edition && r.erreur().isEmpty())
            annulerComposeur();   // the comment was deleted meanwhile
        montrerErreur(r.erreur());
        majComposeur();
    }
}

} // namespace vd::team
