#include "decisionsynchro.h"

#include "ui/ecrans/style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vd::cloud {

namespace st = ui::style;

namespace {
QString compte(int n, const char* un, const char* plusieurs)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n > 1 ? plusieurs : un));
}
} // namespace

QString DialogueDonneesLocales::resume(const synchro::ResumeLocal& r)
{
    QStringList parts;
    if (r.contacts)
        parts << compte(r.contacts, "contact", "contacts");
    if (r.interactions)
        parts << compte(r.interactions, "interaction", "interactions");
    if (r.appels)
        parts << compte(r.appels, "appel", "appels");
    if (r.profils)
        parts << compte(r.profils, "profil client", "profils clients");
    if (r.objections)
        parts << compte(r.objections, "objection", "objections");
    if (r.entreprise)
        parts << QStringLiteral("le profil de votre entreprise");
    if (parts.size() <= 1)
        return parts.value(0);
    const QString dernier = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" et ") + dernier;
}

DialogueDonneesLocales::DialogueDonneesLocales(Synchro& synchro, const synchro::ResumeLocal& r, QWidget* parent)
    : QDialog(parent), synchro_(synchro)
{
    setWindowTitle(QStringLiteral("Données déjà sur cet ordinateur"));
    setObjectName(QStringLiteral("decisionSynchro"));
    texte_ = QStringLiteral("Cet ordinateur contient déjà %1. Que voulez-vous en faire ?").arg(resume(r));
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 24, 24, 20);
    l->setSpacing(12);
    l->addWidget(st::etiquette(QStringLiteral("Première synchronisation"), QStringLiteral("titreSection"), this));
    auto* t = st::etiquette(texte_, {}, this);
    t->setWordWrap(true);
    l->addWidget(t);
    auto* note = st::etiquette(QStringLiteral("Si vous les remplacez, une copie de vos données actuelles est gardée sur cet ordinateur."),
                               QStringLiteral("legende"), this);
    note->setWordWrap(true);
    l->addWidget(note);
    auto* boutons = new QHBoxLayout;
    boutons->setSpacing(8);
    auto* plusTard = st::bouton(QStringLiteral("Plus tard"), {}, this);
    plusTard->setObjectName(QStringLiteral("plusTard"));
    auto* remplacer = st::bouton(QStringLiteral("Les remplacer par celles du compte"), {}, this);
    remplacer->setObjectName(QStringLiteral("remplacer"));
    auto* envoyer = st::bouton(QStringLiteral("Les ajouter à mon compte"), QStringLiteral("primaire"), this);
    envoyer->setObjectName(QStringLiteral("envoyer"));
    envoyer->setDefault(true);
    boutons->addWidget(plusTard);
    boutons->addStretch(1);
    boutons->addWidget(remplacer);
    boutons->addWidget(envoyer);
    l->addLayout(boutons);
    connect(plusTard, &QPushButton::clicked, this, &QDialog::reject);
    connect(remplacer, &QPushButton::clicked, this, [this] { choisir(Synchro::Choix::remplacer); });
    connect(envoyer, &QPushButton::clicked, this, [this] { choisir(Synchro::Choix::envoyer); });
    setMinimumWidth(520);
}

void DialogueDonneesLocales::choisir(Synchro::Choix choix)
{
    accept();
    // The choice starts the first run; the line follows its phases.
    synchro_.decider(choix);
}

} // namespace vd::cloud
