#include "panneauquilloappel.h"

#include "ai/moteur.h"
#include "call/sessionappel.h"
#include "ecranquillo.h"
#include "model/store.h"
#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace vd::assistant {

namespace st = ui::style;

PanneauQuilloAppel::PanneauQuilloAppel(model::Store& store, call::SessionAppel* appel, platform::Horloge* horloge, QWidget* parent)
    : QFrame(parent), store_(store), appel_(appel)
{
    setProperty("role", QStringLiteral("carte"));
    ConfigQuillo config;
    config.client.routes = ai::routesDuStore(store);
    config.client.horloge = horloge;
    session_ = std::make_unique<QuilloSession>(store, config, QStringLiteral("appel"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(12, 10, 12, 10);
    v->setSpacing(8);
    v->addWidget(st::etiquette(QStringLiteral("Quillo"), QStringLiteral("titreCarte"), this));
    champ_ = new QLineEdit(this);
    champ_->setPlaceholderText(QStringLiteral("Demander à Quillo pendant l'appel…"));
    connect(champ_, &QLineEdit::returnPressed, this, [this] { poser(champ_->text()); });
    v->addWidget(champ_);
    groupes_ = new QVBoxLayout;
    groupes_->setSpacing(8);
    v->addLayout(groupes_);
    connect(session_.get(), &QuilloSession::changement, this, [this] {
        if (!property("planifie").toBool()) {
            setProperty("planifie", true);
            QTimer::singleShot(0, this, [this] {
                setProperty("planifie", false);
                reconstruire();
            });
        }
    });
    connect(session_.get(), &QuilloSession::texteRecu, this, [this] { reconstruire(); });
}

PanneauQuilloAppel::~PanneauQuilloAppel() = default;

void PanneauQuilloAppel::poser(const QString& question)
{
    if (question.trimmed().isEmpty() || session_->enCours())
        return;
    champ_->clear();
    QJsonObject contexte;
    if (appel_ && appel_->appelId()) {
        session_->lierAppel(*appel_->appelId());
        const model::Appel* a = store_.etat().appel(*appel_->appelId());
        const model::Contact* c = a && a->contactId ? store_.etat().contact(*a->contactId) : nullptr;
        QJsonObject entree;
        if (a)
            entree.insert(QStringLiteral("appel"), model::versObjetJson(*a));
        if (c)
            entree.insert(QStringLiteral("contact"), model::versObjetJson(*c));
        auto r = ai::Moteur::instance().appelerJSON(QStringLiteral("quilloContexteAppel"), {entree});
        if (r)
            contexte = r.valeur().toObject();
        contexte.insert(QStringLiteral("tMs"), appel_->offsetMs());
    }
    session_->contexteQuestion = contexte.isEmpty() ? std::nullopt : std::optional<QJsonValue>(contexte);
    session_->demander(question);
}

void PanneauQuilloAppel::reconstruire()
{
    while (QLayoutItem* i = groupes_->takeAt(0)) {
        if (QWidget* w = i->widget())
            w->deleteLater();
        delete i;
    }
    // One card per exchange, the latest on top.
    QList<QFrame*> cartes;
    QVBoxLayout* courant = nullptr;
    using G = ElementQuillo::Genre;
    for (const ElementQuillo& e : session_->conversation().affichage) {
        if (e.genre == G::question) {
            auto* c = st::carte(QStringLiteral("carteGrise"), this);
            courant = new QVBoxLayout(c);
            courant->setContentsMargins(10, 8, 10, 8);
            QLabel* q = st::etiquette(e.texte, QStringLiteral("titreCarte"), c);
            q->setWordWrap(true);
            courant->addWidget(q);
            cartes.prepend(c);
            continue;
        }
        if (!courant)
            continue;
        QWidget* parent = courant->parentWidget();
        QLabel* l = nullptr;
        switch (e.genre) {
        case G::reponse:
            l = new QLabel(markdownSur(e.texte), parent);
            l->setTextFormat(Qt::MarkdownText);
            break;
        case G::outil: case G::navigation: l = st::etiquette(e.texte, QStringLiteral("legende"), parent); break;
        case G::memoire: l = st::etiquette(e.texte, QStringLiteral("chipGris"), parent); break;
        case G::erreur: l = st::etiquette(e.texte, QStringLiteral("erreur"), parent); break;
        case G::proposition: {
            const QString statut = e.statut.value_or(QString());
            QString texte = e.texte + QStringLiteral(" · ") + libelleStatut(statut);
            if (statut != QLatin1String("attente") && e.detail)
                texte += QStringLiteral(" — ") + *e.detail;
            l = st::etiquette(texte, QString(), parent);
            l->setWordWrap(true);
            courant->addWidget(l);
            l = nullptr;
            const QString id = e.toolUseId.value_or(QString());
            auto* h = new QHBoxLayout;
            if (statut == QLatin1String("attente")) {
                auto* a = st::bouton(QStringLiteral("Appliquer"), QStringLiteral("primaire"), parent);
                auto* i = st::bouton(QStringLiteral("Laisser de côté"), {}, parent);
                connect(a, &QPushButton::clicked, this, [this, id] { session_->appliquer(id); });
                connect(i, &QPushButton::clicked, this, [this, id] { session_->ignorer(id); });
                h->addWidget(a);
                h->addWidget(i);
            } else if (statut == QLatin1String("applique") && e.annulation) {
                auto* d = st::bouton(QStringLiteral("Défaire"), {}, parent);
                connect(d, &QPushButton::clicked, this, [this, id] { session_->defaire(id); });
                h->addWidget(d);
            }
            h->addStretch(1);
            courant->addLayout(h);
            break;
        }
        case G::question: break;
        }
        if (l) {
            l->setWordWrap(true);
            courant->addWidget(l);
        }
    }
    for (QFrame* c : cartes.mid(0, 3))
        groupes_->addWidget(c);
    for (QFrame* c : cartes.mid(3))
        c->deleteLater();
}

} // namespace vd::assistant
