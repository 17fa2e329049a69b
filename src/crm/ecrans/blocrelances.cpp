#include "blocrelances.h"

#include "dialogueetape.h"
#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "crm/ecriturerelances.h"
#include "crm/relances.h"
#include "model/store.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QDate>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace vd::crm {

namespace st = ui::style;

namespace {

QString libelleStatut(const QString& s)
{
    if (s == QLatin1String("active"))
        return QStringLiteral("Relance active");
    if (s == QLatin1String("sommeil"))
        return QStringLiteral("En sommeil : relances lointaines");
    if (s == QLatin1String("arretee"))
        return QStringLiteral("Relance arrêtée");
    if (s == QLatin1String("terminee"))
        return QStringLiteral("Toutes les relances sont envoyées.");
    return QStringLiteral("Proposée, à relire avant de l'activer");
}

QString libelleCanal(const QString& c)
{
    return c == QLatin1String("whatsapp") ? QStringLiteral("WhatsApp") : c == QLatin1String("autre") ? QStringLiteral("Autre")
                                                                                                    : QStringLiteral("Email");
}

// The sheet rebuilds itself on every store change, this block with it: an
// operation runs once the click has returned, on objects that outlive the block.
void plusTard(ui::Contexte& ctx, std::function<std::optional<std::pair<QString, bool>>(Relances&)> f)
{
    ui::Contexte* c = &ctx;
    QTimer::singleShot(0, ctx.toasts, [c, f = std::move(f)] {
        cloud::OuvreurSysteme ouvreur;
        Relances r(*c->store, ai::Moteur::instance(), &ouvreur, [](const QString& t) { QGuiApplication::clipboard()->setText(t); });
        if (auto m = f(r))
            c->toasts->montrer(m->first, m->second ? ui::Toasts::Toast::Genre::ok : ui::Toasts::Toast::Genre::erreur);
    });
}

// A send, then its confirmation with "Annuler" to undo it.
void envoyerPlusTard(ui::Contexte& ctx, const QString& contactId, const QString& etapeId, const QString& par)
{
    ui::Contexte* c = &ctx;
    QTimer::singleShot(0, ctx.toasts, [c, contactId, etapeId, par] {
        cloud::OuvreurSysteme ouvreur;
        Relances r(*c->store, ai::Moteur::instance(), &ouvreur, [](const QString& t) { QGuiApplication::clipboard()->setText(t); });
        auto x = r.envoyer(contactId, etapeId, par);
        if (!x) {
            c->toasts->montrer(x.erreur(), ui::Toasts::Toast::Genre::erreur);
            return;
        }
        c->toasts->montrer(x.valeur(), ui::Toasts::Toast::Genre::ok, QStringLiteral("Annuler"), [c, contactId, etapeId] {
            auto a = Relances(*c->store, ai::Moteur::instance()).annulerEnvoi(contactId, etapeId);
            c->toasts->montrer(a ? QStringLiteral("L'étape revient à venir") : a.erreur(),
                               a ? ui::Toasts::Toast::Genre::ok : ui::Toasts::Toast::Genre::erreur);
        });
    });
}

template<typename R>
std::optional<std::pair<QString, bool>> issue(const R& r, const QString& succes)
{
    if (!r)
        return std::pair{r.erreur(), false};
    return std::pair{succes, true};
}

std::optional<QString> compteDe(ui::Contexte& ctx) { return ctx.compteConnecte ? ctx.compteConnecte() : std::nullopt; }

} // namespace

QString BlocRelances::texteEnCours() { return QStringLiteral("Quillo écrit ce message…"); }
QString BlocRelances::messageEnregistre() { return QStringLiteral("Relance enregistrée"); }
QString BlocRelances::messageRetire() { return QStringLiteral("Relance retirée"); }
QString BlocRelances::messageCanal() { return QStringLiteral("Canal changé pour les relances à venir"); }
QString BlocRelances::messageVide() { return QStringLiteral("Écrivez le message avant de l'enregistrer."); }

void BlocRelances::modifier(const CibleRelance& cible, const QJsonObject& etape, bool redaction)
{
    // On the window: the sheet may rebuild this block while the dialog is open.
    auto* d = new DialogueEtape(etape, redaction, window());
    d->setAttribute(Qt::WA_DeleteOnClose);
    const QString etapeId = etape.value(QLatin1String("id")).toString();
    ui::Contexte* c = &ctx_;
    connect(d, &QDialog::accepted, this, [c, d, cible, etapeId, redaction] {
        const QJsonObject champs = d->champs();
        if (redaction && d->message()->toPlainText().trimmed().isEmpty()) {
            c->toasts->montrer(messageVide(), ui::Toasts::Toast::Genre::erreur);
            return;
        }
        if (champs.isEmpty())
            return;
        plusTard(*c, [cible, etapeId, champs](Relances& r) { return issue(r.modifierEtape(cible, etapeId, champs), messageEnregistre()); });
    });
    d->open();
}

BlocRelances::BlocRelances(ui::Contexte& ctx, const QString& appelId, QWidget* parent)
    : QFrame(parent), ctx_(ctx), appelId_(appelId)
{
    setObjectName(QStringLiteral("blocRelances"));
    setProperty("role", QStringLiteral("carte"));
    corps_ = new QVBoxLayout(this);
    corps_->setContentsMargins(16, 14, 16, 14);
    corps_->setSpacing(8);
    remplir();
    // Steps being written and their errors are not in the store: the block follows the writer too.
    if (ctx_.ecritureRelances)
        connect(ctx_.ecritureRelances, &EcritureRelances::change, this, [this] {
            if (enAttente_)
                return;
            enAttente_ = true;
            QTimer::singleShot(0, this, [this] {
                enAttente_ = false;
                remplir();
            });
        });
}

void BlocRelances::remplir()
{
    st::vider(corps_);
    const model::Etat& etat = ctx_.store->etat();
    const model::Appel* a = etat.appel(appelId_);
    corps_->addWidget(st::etiquette(QStringLiteral("Relances"), QStringLiteral("titreCarte"), this));
    if (!a)
        return;
    const model::Contact* c = a->contactId ? etat.contact(*a->contactId) : nullptr;
    const QString appelId = appelId_;
    // The contact's sequence when it comes from this call, else the call's proposal.
    QJsonObject s;
    bool active = false;
    if (c && c->relance && c->relance->qt().toObject().value(QLatin1String("appelId")).toString() == appelId_) {
        s = c->relance->qt().toObject();
        active = true;
    } else if (a->analyse && a->analyse->relances) {
        s = a->analyse->relances->qt().toObject();
    }
    auto* actions = new QHBoxLayout;
    auto bouton = [&](const QString& libelle, const QString& role, std::function<void()> f) {
        QPushButton* b = st::bouton(libelle, role, this);
        connect(b, &QPushButton::clicked, this, std::move(f));
        actions->addWidget(b);
        return b;
    };
    if (s.isEmpty()) {
        corps_->addWidget(st::etiquette(a->analyse ? QStringLiteral("Aucune relance préparée pour cet appel.")
                                                   : QStringLiteral("Analysez l'appel avant de préparer une relance."),
                                        QStringLiteral("secondaire"), this));
        if (a->analyse)
            bouton(QStringLiteral("Préparer la relance"), QStringLiteral("primaire"), [this, appelId] {
                plusTard(ctx_, [appelId](Relances& r) { return issue(r.preparer(appelId), QStringLiteral("Relance préparée")); });
            });
        actions->addStretch(1);
        corps_->addLayout(actions);
        return;
    }
    const QString statut = active ? s.value(QLatin1String("statut")).toString() : QStringLiteral("proposee");
    QString etat_ = libelleStatut(statut);
    if (statut == QLatin1String("arretee"))
        etat_ += QStringLiteral(" · ") + [&] {
            const QString r = s.value(QLatin1String("raisonArret")).toString();
            return r == QLatin1String("gagne")          ? QStringLiteral("Affaire gagnée")
                   : r == QLatin1String("perdu")        ? QStringLiteral("Affaire perdue")
                   : r == QLatin1String("nouvel_appel") ? QStringLiteral("Nouvel appel avec ce contact")
                   : r == QLatin1String("reponse")      ? QStringLiteral("Le prospect a répondu")
                                                        : QStringLiteral("Arrêtée à la main");
        }();
    corps_->addWidget(st::etiquette(etat_, QStringLiteral("chipGris"), this), 0, Qt::AlignLeft);
    if (!s.value(QLatin1String("note")).toString().isEmpty())
        corps_->addWidget(st::etiquette(s.value(QLatin1String("note")).toString(), QStringLiteral("secondaire"), this));
    const bool enMarche = active && (statut == QLatin1String("active") || statut == QLatin1String("sommeil"));
    const QString contactId = c ? c->id : QString();
    // A proposal is edited on the call; a running (or finished) sequence on the contact.
    const bool modifiable = !active || enMarche || statut == QLatin1String("terminee");
    const CibleRelance cible{contactId, active ? QString() : appelId};
    for (const QJsonValue& v : s.value(QLatin1String("etapes")).toArray()) {
        const QJsonObject e = v.toObject();
        const QString etapeId = e.value(QLatin1String("id")).toString();
        auto* ligne = new QHBoxLayout;
        const bool envoyee = e.value(QLatin1String("statut")).toString() == QLatin1String("envoyee");
        QString t = QStringLiteral("J+%1 · %2 · %3")
                        .arg(e.value(QLatin1String("jour")).toInt())
                        .arg(st::dateCourte(e.value(QLatin1String("date")).toString(), false), libelleCanal(e.value(QLatin1String("canal")).toString()));
        const QString objet = e.value(QLatin1String("objet")).toString();
        t += objet.isEmpty() ? QStringLiteral(" · Écrite la veille de l'envoi") : QStringLiteral(" · ") + objet;
        QLabel* l = st::etiquette(t, envoyee ? QStringLiteral("secondaire") : QString(), this);
        l->setWordWrap(true);
        if (!e.value(QLatin1String("raison")).toString().isEmpty())
            l->setToolTip(e.value(QLatin1String("raison")).toString());
        ligne->addWidget(l, 1);
        if (envoyee) {
            ligne->addWidget(st::etiquette(QStringLiteral("Envoyée"), QStringLiteral("chipBleu"), this));
        } else if (enMarche) {
            const QString par = e.value(QLatin1String("canal")).toString() == QLatin1String("whatsapp") ? QStringLiteral("whatsapp")
                                                                                                         : QStringLiteral("email");
            QPushButton* envoyer = st::bouton(libelleCanal(par), QStringLiteral("secondaire"), this);
            envoyer->setToolTip(par == QLatin1String("whatsapp") ? QStringLiteral("Ouvre WhatsApp avec le message prérempli")
                                                                 : QStringLiteral("Ouvre votre messagerie avec l'objet et le message préremplis"));
            envoyer->setEnabled(!e.value(QLatin1String("message")).toString().isEmpty());
            connect(envoyer, &QPushButton::clicked, this, [this, contactId, etapeId, par] { envoyerPlusTard(ctx_, contactId, etapeId, par); });
            ligne->addWidget(envoyer);
            QPushButton* noter = st::bouton(QStringLiteral("Marquer envoyée"), QStringLiteral("secondaire"), this);
            noter->setToolTip(QStringLiteral("Vous l'avez envoyée autrement : l'étape est cochée et l'historique la garde"));
            connect(noter, &QPushButton::clicked, this,
                    [this, contactId, etapeId] { envoyerPlusTard(ctx_, contactId, etapeId, QStringLiteral("note")); });
            ligne->addWidget(noter);
        }
        corps_->addLayout(ligne);
        if (modifiable)
            ajouterEdition(cible, e, enMarche);
    }
    // The long tail, until an answer: its next dates (bounded).
    if ((!active || enMarche) && !s.value(QLatin1String("etapes")).toArray().isEmpty())
        if (auto suite = ai::Moteur::instance().appelerJSON(QStringLiteral("apercuSuiteRelance"), {s, 3}); suite && !suite.valeur().toArray().isEmpty()) {
            QStringList dates;
            for (const QJsonValue& d : suite.valeur().toArray())
                dates << st::dateCourte(d.toString(), false);
            const int mois = qMax(1, s.value(QLatin1String("puisTousLes")).toInt(3));
            corps_->addWidget(st::etiquette(QStringLiteral("Ensuite, une relance tous les %1 mois jusqu'à sa réponse : %2…")
                                                .arg(mois)
                                                .arg(dates.join(QStringLiteral(", "))),
                                            QStringLiteral("legende"), this));
        }
    if (modifiable && !s.value(QLatin1String("etapes")).toArray().isEmpty()) {
        auto* h = new QHBoxLayout;
        h->addWidget(st::etiquette(QStringLiteral("Changer le canal de toutes les relances à venir"), QStringLiteral("legende"), this));
        auto* canal = new QComboBox(this);
        canal->setObjectName(QStringLiteral("canalRelances"));
        canal->addItem(QStringLiteral("Email"), QStringLiteral("email"));
        canal->addItem(QStringLiteral("WhatsApp"), QStringLiteral("whatsapp"));
        canal->addItem(QStringLiteral("Autre"), QStringLiteral("autre"));
        h->addWidget(canal);
        QPushButton* changer = st::bouton(QStringLiteral("Changer le canal"), QStringLiteral("lien"), this);
        connect(changer, &QPushButton::clicked, this, [this, cible, canal] {
            const QString choix = canal->currentData().toString();
            plusTard(ctx_, [cible, choix](Relances& r) { return issue(r.changerCanal(cible, choix), messageCanal()); });
        });
        h->addWidget(changer);
        h->addStretch(1);
        corps_->addLayout(h);
    }
    if (enMarche) {
        bouton(QStringLiteral("Arrêter"), QStringLiteral("secondaire"), [this, contactId] {
            plusTard(ctx_, [contactId](Relances& r) { return issue(r.arreter(contactId), Relances::messageArrete()); });
        });
        corps_->addWidget(st::etiquette(QStringLiteral("Il a répondu : intéressé, pas maintenant ou pas intéressé"),
                                        QStringLiteral("legende"), this));
        for (const auto& [libelle, type] : {std::pair{QStringLiteral("Intéressé"), QStringLiteral("interesse")},
                                            std::pair{QStringLiteral("Pas maintenant"), QStringLiteral("pas_maintenant")},
                                            std::pair{QStringLiteral("Pas intéressé"), QStringLiteral("pas_interesse")}}) {
            const QString ty = type;
            bouton(libelle, QStringLiteral("secondaire"), [this, contactId, ty] { repondre(contactId, ty); });
        }
    } else {
        const bool autreEnCours = c && c->relance && !active
                                  && (c->relance->qt().toObject().value(QLatin1String("statut")).toString() == QLatin1String("active")
                                      || c->relance->qt().toObject().value(QLatin1String("statut")).toString() == QLatin1String("sommeil"));
        if (autreEnCours)
            corps_->addWidget(st::etiquette(Relances::messageDejaEnCours(c->nomComplet()), QStringLiteral("secondaire"), this));
        QPushButton* b = bouton(active ? QStringLiteral("Activer à nouveau") : QStringLiteral("Activer la relance"), QStringLiteral("primaire"),
                                [this, appelId] {
                                    const std::optional<QString> compte = compteDe(ctx_);
                                    plusTard(ctx_, [appelId, compte](Relances& r) -> std::optional<std::pair<QString, bool>> {
                                        auto x = r.activer(appelId, compte);
                                        return x ? std::pair{x.valeur(), true} : std::pair{x.erreur(), false};
                                    });
                                });
        if (active)
            b->setToolTip(QStringLiteral("Reprend la proposition de cet appel, à relire avant de l'activer"));
    }
    actions->addStretch(1);
    corps_->addLayout(actions);
}

void BlocRelances::ajouterEdition(const CibleRelance& cible, const QJsonObject& e, bool enMarche)
{
    const QString etapeId = e.value(QLatin1String("id")).toString();
    const bool envoyee = e.value(QLatin1String("statut")).toString() == QLatin1String("envoyee");
    const bool ecrite = !e.value(QLatin1String("message")).toString().trimmed().isEmpty();
    const QString cle = EcritureRelances::cleEtape(cible.contactId, etapeId);
    EcritureRelances* ecriture = ctx_.ecritureRelances;
    const bool enCours = enMarche && !ecrite && ecriture && ecriture->enCours().contains(cle);
    auto* h = new QHBoxLayout;
    h->setContentsMargins(12, 0, 0, 0);
    if (enCours) {
        h->addWidget(st::etiquette(texteEnCours(), QStringLiteral("legende"), this));
    } else if (!envoyee && !ecrite) {
        if (const QString erreur = ecriture ? ecriture->erreurs().value(cle) : QString(); enMarche && !erreur.isEmpty()) {
            QLabel* l = st::etiquette(erreur, QStringLiteral("erreur"), this);
            l->setTextFormat(Qt::PlainText);
            l->setWordWrap(true);
            h->addWidget(l, 1);
            QPushButton* reessayer = st::bouton(QStringLiteral("Réessayer"), QStringLiteral("lien"), this);
            const QString contactId = cible.contactId;
            connect(reessayer, &QPushButton::clicked, this, [ecriture, contactId, etapeId] { ecriture->ecrire(contactId, etapeId); });
            h->addWidget(reessayer);
        }
        QPushButton* moiMeme = st::bouton(QStringLiteral("L'écrire moi-même"), QStringLiteral("lien"), this);
        connect(moiMeme, &QPushButton::clicked, this, [this, cible, e] { modifier(cible, e, true); });
        h->addWidget(moiMeme);
    }
    QPushButton* modif = st::bouton(QStringLiteral("Modifier"), QStringLiteral("lien"), this);
    modif->setToolTip(QStringLiteral("Modifier le message, la date ou le canal"));
    modif->setEnabled(!enCours);
    connect(modif, &QPushButton::clicked, this, [this, cible, e] { modifier(cible, e, false); });
    h->addWidget(modif);
    if (!envoyee) {
        QPushButton* retirer = st::bouton(QStringLiteral("Retirer"), QStringLiteral("lien"), this);
        retirer->setToolTip(QStringLiteral("Retirer cette relance"));
        connect(retirer, &QPushButton::clicked, this, [this, cible, etapeId] {
            plusTard(ctx_, [cible, etapeId](Relances& r) { return issue(r.retirerEtape(cible, etapeId), messageRetire()); });
        });
        h->addWidget(retirer);
    }
    h->addStretch(1);
    corps_->addLayout(h);
}

void BlocRelances::repondre(const QString& contactId, const QString& type)
{
    QString reprise, raison;
    QPointer<BlocRelances> moi(this);
    if (type == QLatin1String("pas_maintenant")) {
        bool ok = false;
        reprise = QInputDialog::getText(this, QStringLiteral("Pas maintenant"), QStringLiteral("Reprendre les relances le (AAAA-MM-JJ)"),
                                        QLineEdit::Normal, QDate::currentDate().addMonths(3).toString(Qt::ISODate), &ok);
        if (!ok || !moi)
            return;
    } else if (type == QLatin1String("pas_interesse")) {
        QStringList raisons;
        if (auto r = ai::Moteur::instance().appelerJSON(QStringLiteral("raisonsPerte")); r)
            for (const QJsonValue& v : r.valeur().toArray())
                raisons << v.toString();
        bool ok = false;
        raison = QInputDialog::getItem(this, QStringLiteral("Pas intéressé"), QStringLiteral("Sa raison, en quelques mots"), raisons, 0, true, &ok);
        if (!ok || !moi)
            return;
    }
    plusTard(ctx_, [contactId, type, reprise, raison](Relances& r) -> std::optional<std::pair<QString, bool>> {
        auto x = r.repondre(contactId, type, reprise, raison);
        return x ? std::pair{x.valeur(), true} : std::pair{x.erreur(), false};
    });
}

} // namespace vd::crm
