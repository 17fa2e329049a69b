#include "vumetres.h"

#include <algorithm>
#include <cmath>

namespace vd::call {

namespace {

float arrondir(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    return std::clamp(float(std::round(double(x) * 1000.0) / 1000.0), 0.0f, 1.0f);
}

} // namespace

bool Vumetres::publier(float vous, float prospect)
{
    const Niveaux n{arrondir(vous), arrondir(prospect)};
    if (n == niveaux_)
        return false;
    niveaux_ = n;
    Q_EMIT niveauxChanges(n.vous, n.prospect);
    return true;
}

} // namespace vd::call
