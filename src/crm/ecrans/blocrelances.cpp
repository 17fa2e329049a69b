#include "blocrelances.h"

#include "ai/moteur.h"
#include "cloud/ouvreururl.h"
#include "crm/relances.h"
#include "model/store.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QClipboard>
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

} // namespace

BlocRelances::BlocRelances(ui::Contexte& ctx, const QString& appelId, QWidget* parent)
    : QFrame(parent), ctx_(ctx), appelId_(appelId)
{
    setObjectName(QStringLiteral("blocRelances"));
    setProperty("role", QStringLiteral("carte"));
    corps_ = new QVBoxLayout(this);
    corps_->setContentsMargins(16, 14, 16, 14);
    corps_->setSpacing(8);
    remplir();
}

void BlocRelances::remplir()
{
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
                                    plusTard(ctx_, [appelId](Relances& r) -> std::optional<std::pair<QString, bool>> {
                                        auto x = r.activer(appelId);
                                        return x ? std::pair{x.valeur(), true} : std::pair{x.erreur(), false};
                                    });
                                });
        if (active)
            b->setToolTip(QStringLiteral("Reprend la proposition de cet appel, à relire avant de l'activer"));
    }
    actions->addStretch(1);
    corps_->addLayout(actions);
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
