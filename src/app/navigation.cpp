#include "navigation.h"

namespace vd::app {

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

} // namespace vd::app
