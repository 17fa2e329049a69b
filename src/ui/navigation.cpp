#include "navigation.h"

namespace vd::ui {

namespace {

struct NomEcran {
    const char* nom;
    Ecran::Genre genre;
};

// One name per screen; later screens add theirs here.
constexpr NomEcran nomsEcrans[] = {
    {"tableau", Ecran::Genre::tableau},       {"appels", Ecran::Genre::appels},
    {"crm", Ecran::Genre::crm},               {"agenda", Ecran::Genre::agenda},
    {"relances", Ecran::Genre::relances},     {"quillo", Ecran::Genre::quillo},
    {"equipe", Ecran::Genre::equipe},         {"progresser", Ecran::Genre::progresser},
    {"reglages", Ecran::Genre::reglages},     {"framework", Ecran::Genre::framework},
    {"profils", Ecran::Genre::profils},       {"classement", Ecran::Genre::classement},
    {"admin", Ecran::Genre::admin},           {"nouvel-appel", Ecran::Genre::nouvelAppel},
    {"en-appel", Ecran::Genre::enAppel},      {"fiche", Ecran::Genre::ficheAppel},
    {"analyse", Ecran::Genre::analyse},       {"contact", Ecran::Genre::ficheContact},
    {"exemplaire", Ecran::Genre::exemplaire}, {"compte", Ecran::Genre::compte},
    {"aide", Ecran::Genre::aide},
};

} // namespace

std::optional<Ecran> Ecran::depuisNom(const QString& nom, std::optional<QString> charge)
{
    for (const NomEcran& n : nomsEcrans)
        if (nom == QLatin1String(n.nom))
            return Ecran{n.genre, std::move(charge)};
    return std::nullopt;
}

QStringList Ecran::noms()
{
    QStringList l;
    for (const NomEcran& n : nomsEcrans)
        l << QString::fromLatin1(n.nom);
    return l;
}

bool Ecran::montreUnEnregistrement(Genre g)
{
    return g == Genre::ficheAppel || g == Genre::analyse || g == Genre::ficheContact || g == Genre::exemplaire;
}

void Navigation::aller(const Ecran& e)
{
    if (e == ecran_)
        return;
    historique_.append(ecran_);
    if (historique_.size() > historiqueMax)
        historique_.erase(historique_.begin(), historique_.begin() + (historique_.size() - historiqueMax));
    ecran_ = e;
    Q_EMIT ecranChange();
}

void Navigation::retour()
{
    if (historique_.isEmpty())
        return;
    ecran_ = historique_.takeLast();
    Q_EMIT ecranChange();
}

} // namespace vd::ui
