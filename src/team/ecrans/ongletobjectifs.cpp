#include "ongletobjectifs.h"

#include "cloud/compte.h"
#include "team/coachingequipe.h"
#include "team/pilotageequipe.h"
#include "ui/ecrans/style.h"
#include "ui/toasts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace vd::team {

using ui::style::bouton;
using ui::style::etiquette;

namespace {

const QList<QPair<QString, QString>> typesObjectif = {
    {QStringLiteral("questions_par_appel"), QStringLiteral("Questions par appel (au moins)")},
    {QStringLiteral("part_parole_max"), QStringLiteral("Temps de parole (au plus, en %)")},
    {QStringLiteral("score_moyen"), QStringLiteral("Score moyen (au moins)")},
    {QStringLiteral("appels_semaine"), QStringLiteral("Appels dans la semaine")},
    {QStringLiteral("competence"), QStringLiteral("Score d'une compétence (au moins)")},
};
const QList<QPair<QString, QString>> competences = {
    {QStringLiteral("decouverte"), QStringLiteral("Découverte")}, {QStringLiteral("engagement"), QStringLiteral("Engagement")},
    {QStringLiteral("valeur"), QStringLiteral("Valeur")},         {QStringLiteral("ecoute"), QStringLiteral("Écoute")},
    {QStringLiteral("objections"), QStringLiteral("Objections")}, {QStringLiteral("closing"), QStringLiteral("Closing")},
};

QLabel* paragraphe(const QString& t, const QString& role = {})
{
    auto* l = etiquette(t, role);
    l->setWordWrap(true);
    return l;
}

QString valeurTexte(const ObjectifEquipe& o, double v)
{
    if (o.type == QLatin1String("part_parole_max"))
        return texteNombre(v) + QStringLiteral("\u00a0%");
    if (o.type == QLatin1String("appels_semaine"))
        return v == 1 ? QStringLiteral("1 appel") : QStringLiteral("%1 appels").arg(texteNombre(v, 0));
    return texteNombre(v);
}

QString jourLong(const QString& iso)
{
    const QDate d = QDate::fromString(iso, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? QLocale(QLocale::French).toString(d, QStringLiteral("d MMMM yyyy")) : iso;
}

} // namespace

// ---- FeuilleObjectif -------------------------------------------------------

FeuilleObjectif::FeuilleObjectif(const QList<QPair<QString, QString>>& membres, const std::optional<ObjectifEquipe>& existant,
                                 QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(existant ? QStringLiteral("Modifier l'objectif") : QStringLiteral("Fixer un objectif"));
    setMinimumWidth(440);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(24, 20, 24, 20);
    l->setSpacing(12);
    l->addWidget(etiquette(windowTitle(), QStringLiteral("titreCarte"), this));
    auto* f = new QFormLayout;
    type_ = new QComboBox(this);
    for (const auto& [cle, nom] : typesObjectif)
        type_->addItem(nom, cle);
    cible_ = new QDoubleSpinBox(this);
    cible_->setLocale(QLocale(QLocale::French));
    competence_ = new QComboBox(this);
    for (const auto& [cle, nom] : competences)
        competence_->addItem(nom, cle);
    libelleCompetence_ = etiquette(QStringLiteral("Compétence"), QString(), this);
    membre_ = new QComboBox(this);
    membre_->addItem(QStringLiteral("Toute l'équipe"), QString());
    for (const auto& [id, nom] : membres)
        membre_->addItem(nom, id);
    actif_ = new QCheckBox(QStringLiteral("Objectif actif cette semaine"), this);
    actif_->setChecked(true);
    f->addRow(QStringLiteral("Objectif"), type_);
    f->addRow(QStringLiteral("Cible"), cible_);
    f->addRow(libelleCompetence_, competence_);
    f->addRow(QStringLiteral("Pour"), membre_);
    f->addRow(QString(), actif_);
    l->addLayout(f);
    l->addWidget(paragraphe(textes::regleObjectifs, QStringLiteral("legende")));
    auto* boutons = new QDialogButtonBox(this);
    boutons->addButton(QStringLiteral("Annuler"), QDialogButtonBox::RejectRole);
    boutons->addButton(existant ? QStringLiteral("Enregistrer") : QStringLiteral("Fixer l'objectif"), QDialogButtonBox::AcceptRole)
        ->setProperty("role", QStringLiteral("primaire"));
    connect(boutons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(boutons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    l->addWidget(boutons);
    connect(type_, &QComboBox::currentIndexChanged, this, &FeuilleObjectif::majType);

    if (existant) {
        id_ = existant->id;
        type_->setCurrentIndex(std::max(0, type_->findData(existant->type)));
        if (existant->competence)
            competence_->setCurrentIndex(std::max(0, competence_->findData(*existant->competence)));
        membre_->setCurrentIndex(std::max(0, membre_->findData(existant->compteId.value_or(QString()))));
        actif_->setChecked(existant->actif);
    }
    majType();
    cible_->setValue(existant ? existant->cible : type_->currentData() == QLatin1String("appels_semaine") ? 5 : 5);
}

void FeuilleObjectif::majType()
{
    const QString t = type_->currentData().toString();
    const bool appels = t == QLatin1String("appels_semaine");
    cible_->setDecimals(appels ? 0 : 1);
    cible_->setRange(appels ? 1 : 0.1, appels ? 1000 : 100);
    cible_->setSuffix(t == QLatin1String("part_parole_max") ? QStringLiteral("\u00a0%") : QString());
    competence_->setVisible(t == QLatin1String("competence"));
    libelleCompetence_->setVisible(t == QLatin1String("competence"));
}

ObjectifSaisi FeuilleObjectif::saisie() const
{
    ObjectifSaisi s;
    s.id = id_;
    s.type = type_->currentData().toString();
    s.cible = cible_->value();
    if (s.type == QLatin1String("competence"))
        s.competence = competence_->currentData().toString();
    const QString m = membre_->currentData().toString();
    if (!m.isEmpty())
        s.compteId = m;
    s.actif = actif_->isChecked();
    return s;
}

QString FeuilleObjectif::libelleType(const QString& type)
{
    for (const auto& [cle, nom] : typesObjectif)
        if (cle == type)
            return nom;
    return type;
}

// ---- OngletObjectifs -------------------------------------------------------

OngletObjectifs::OngletObjectifs(ui::Contexte& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 16, 0, 0);
    l->setSpacing(12);
    auto* haut = new QHBoxLayout;
    precedente_ = bouton(QStringLiteral("‹"), QString(), this);
    precedente_->setToolTip(QStringLiteral("Semaine précédente"));
    suivante_ = bouton(QStringLiteral("›"), QString(), this);
    suivante_->setToolTip(QStringLiteral("Semaine suivante"));
    semaine_ = etiquette(QString(), QStringLiteral("titreCarte"), this);
    haut->addWidget(precedente_);
    haut->addWidget(semaine_);
    haut->addWidget(suivante_);
    haut->addStretch(1);
    reprendre_ = bouton(QStringLiteral("Reprendre la semaine passée"), QString(), this);
    fixer_ = bouton(QStringLiteral("Fixer un objectif"), QStringLiteral("primaire"), this);
    haut->addWidget(reprendre_);
    haut->addWidget(fixer_);
    l->addLayout(haut);
    l->addWidget(paragraphe(textes::regleObjectifs, QStringLiteral("legende")));
    etat_ = paragraphe(QString(), QStringLiteral("secondaire"));
    l->addWidget(etat_);
    liste_ = new QVBoxLayout;
    liste_->setSpacing(12);
    l->addLayout(liste_);
    l->addStretch(1);

    connect(precedente_, &QPushButton::clicked, this, [this] { charger(semaineDecalee(-7)); });
    connect(suivante_, &QPushButton::clicked, this, [this] { charger(semaineDecalee(7)); });
    connect(fixer_, &QPushButton::clicked, this, [this] { editer(std::nullopt); });
    connect(reprendre_, &QPushButton::clicked, this, [this] { reprendre(); });
    if (ctx_.coaching)
        connect(ctx_.coaching, &CoachingEquipe::change, this, &OngletObjectifs::remplir);
    remplir();
}

std::optional<QString> OngletObjectifs::semaineDecalee(int jours) const
{
    if (!ctx_.coaching || !ctx_.coaching->objectifs())
        return std::nullopt;
    const QDate d = QDate::fromString(ctx_.coaching->objectifs()->semaine, QStringLiteral("yyyy-MM-dd"));
    return d.isValid() ? std::optional(d.addDays(jours).toString(QStringLiteral("yyyy-MM-dd"))) : std::nullopt;
}

void OngletObjectifs::recharger()
{
    if (!ctx_.coaching)
        return;
    const auto& o = ctx_.coaching->objectifs();
    charger(o ? std::optional(o->semaine) : std::nullopt);
}

QList<QPair<QString, QString>> OngletObjectifs::membres() const
{
    QList<QPair<QString, QString>> r;
    if (ctx_.coaching && ctx_.coaching->demonstration()) {
        for (const QString& id : {QStringLiteral("demo-lea"), QStringLiteral("demo-hugo")})
            r.append({id, nomMembreEquipe(nullptr, id)});
        return r;
    }
    if (!ctx_.compte || !ctx_.compte->equipe())
        return r;
    for (const QJsonValue& v : ctx_.compte->equipe()->value(QStringLiteral("membres")).toArray()) {
        const QJsonObject m = v.toObject();
        const QString nom = m.value(QStringLiteral("nom")).toString().trimmed();
        r.append({m.value(QStringLiteral("id")).toString(), nom.isEmpty() ? m.value(QStringLiteral("email")).toString() : nom});
    }
    return r;
}

void OngletObjectifs::toast(const QString& m, bool erreur)
{
    if (ctx_.toasts && !m.isEmpty())
        ctx_.toasts->montrer(m, erreur ? ui::Toasts::Toast::Genre::erreur : ui::Toasts::Toast::Genre::ok);
}

QCoro::Task<void> OngletObjectifs::charger(std::optional<QString> semaine)
{
    if (!ctx_.coaching || enCours_)
        co_return;
    QPointer<OngletObjectifs> moi(this);
    enCours_ = true;
    erreur_.clear();
    auto r = co_await ctx_.coaching->chargerObjectifs(semaine);
    if (!moi)
        co_return;
    enCours_ = false;
    if (!r.ok())
        erreur_ = r.erreur();
    remplir();
}

QCoro::Task<void> OngletObjectifs::editer(std::optional<ObjectifEquipe> existant)
{
    FeuilleObjectif f(membres(), existant, this);
    if (f.exec() != QDialog::Accepted)
        co_return;
    QPointer<OngletObjectifs> moi(this);
    auto r = co_await ctx_.coaching->fixerObjectif(f.saisie());
    if (!moi)
        co_return;
    if (r.ok())
        toast(existant ? textes::objectifModifie : textes::objectifFixe(r.valeur().libelle));
    else
        toast(r.erreur(), true);
}

QCoro::Task<void> OngletObjectifs::supprimer(QString id)
{
    if (QMessageBox::question(this, QStringLiteral("Supprimer"), textes::confirmerSuppressionObjectif,
                              QMessageBox::Yes | QMessageBox::Cancel) != QMessageBox::Yes)
        co_return;
    QPointer<OngletObjectifs> moi(this);
    auto r = co_await ctx_.coaching->supprimerObjectif(id);
    if (moi)
        toast(r.ok() ? textes::objectifSupprime : r.erreur(), !r.ok());
}

QCoro::Task<void> OngletObjectifs::reprendre()
{
    QPointer<OngletObjectifs> moi(this);
    auto r = co_await ctx_.coaching->reprendreObjectifs();
    if (!moi)
        co_return;
    if (!r.ok())
        toast(r.erreur(), true);
    else
        toast(r.valeur() > 0 ? textes::objectifsRepris(r.valeur()) : textes::rienAReprendre, false);
}

void OngletObjectifs::remplir()
{
    ui::style::vider(liste_);
    const bool cloud = ctx_.coaching != nullptr;
    const auto semaine = cloud ? ctx_.coaching->objectifs() : std::nullopt;
    const bool gestionnaire = semaine ? semaine->gestionnaire : (ctx_.compte && ctx_.compte->gestionnaire());
    for (QPushButton* b : {precedente_, suivante_})
        b->setVisible(semaine.has_value());
    fixer_->setVisible(cloud && gestionnaire);
    reprendre_->setVisible(cloud && gestionnaire);
    fixer_->setEnabled(semaine.has_value());
    reprendre_->setEnabled(semaine.has_value());
    semaine_->setText(semaine ? QStringLiteral("Semaine du ") + jourLong(semaine->semaine) : QStringLiteral("Objectifs de la semaine"));
    if (!cloud) {
        etat_->setText(QStringLiteral("Les objectifs de l'équipe s'affichent ici quand vous êtes connecté à un compte d'équipe Vendalo."));
        return;
    }
    if (!semaine) {
        etat_->setText(!erreur_.isEmpty() ? erreur_ : QStringLiteral("Chargement des objectifs…"));
        return;
    }
    etat_->setText(erreur_);
    etat_->setVisible(!erreur_.isEmpty() || semaine->objectifs.isEmpty());
    if (semaine->objectifs.isEmpty()) {
        etat_->setVisible(false);
        auto* vide = ui::style::carte(QStringLiteral("carteGrise"));
        auto* v = new QVBoxLayout(vide);
        v->setContentsMargins(20, 16, 20, 16);
        v->addWidget(etiquette(textes::aucunObjectif, QStringLiteral("titreCarte")));
        v->addWidget(paragraphe(gestionnaire ? textes::aideObjectifsManager : textes::aideObjectifsMembre, QStringLiteral("secondaire")));
        liste_->addWidget(vide);
        return;
    }
    for (const ObjectifEquipe& o : semaine->objectifs)
        liste_->addWidget(carteObjectif(o, gestionnaire));
}

QWidget* OngletObjectifs::carteObjectif(const ObjectifEquipe& o, bool gestionnaire)
{
    auto* c = ui::style::carte(o.actif ? QStringLiteral("carte") : QStringLiteral("carteGrise"));
    auto* l = new QVBoxLayout(c);
    l->setContentsMargins(20, 16, 20, 16);
    l->setSpacing(6);
    auto* tete = new QHBoxLayout;
    auto* titre = new QVBoxLayout;
    titre->setSpacing(2);
    titre->addWidget(etiquette(o.libelle.isEmpty() ? FeuilleObjectif::libelleType(o.type) : o.libelle, QStringLiteral("titreCarte"), c));
    QStringList sous{o.equipe ? QStringLiteral("Toute l'équipe") : o.compteNom.value_or(QStringLiteral("Un commercial"))};
    if (!o.actif)
        sous << QStringLiteral("En pause");
    if (o.valeurEquipe)
        sous << QStringLiteral("Équipe : ") + valeurTexte(o, *o.valeurEquipe);
    titre->addWidget(etiquette(sous.join(QStringLiteral(" · ")), QStringLiteral("secondaire"), c));
    tete->addLayout(titre, 1);
    if (gestionnaire) {
        auto* modifier = bouton(QStringLiteral("Modifier"), QStringLiteral("lien"), c);
        auto* suppr = bouton(QStringLiteral("Supprimer"), QStringLiteral("lien"), c);
        connect(modifier, &QPushButton::clicked, this, [this, o] { editer(o); });
        const QString id = o.id;
        connect(suppr, &QPushButton::clicked, this, [this, id] { supprimer(id); });
        tete->addWidget(modifier, 0, Qt::AlignTop);
        tete->addWidget(suppr, 0, Qt::AlignTop);
    }
    l->addLayout(tete);
    for (const ProgressionObjectif& p : o.progression) {
        auto* ligne = new QHBoxLayout;
        ligne->addWidget(etiquette(p.nom + (p.moi ? QStringLiteral(" (vous)") : QString()), QString(), c), 1);
        QString valeur = p.appels == 0 || !p.valeur ? textes::pasEncoreDAppel : valeurTexte(o, *p.valeur);
        ligne->addWidget(etiquette(valeur, QStringLiteral("legende"), c));
        ligne->addWidget(etiquette(p.atteint ? QStringLiteral("Atteint") : QStringLiteral("En cours"),
                                   p.atteint ? QStringLiteral("succes") : QStringLiteral("chipGris"), c));
        l->addLayout(ligne);
    }
    return c;
}

} // namespace vd::team
