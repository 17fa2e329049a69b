#pragma once
// The two live audio levels the call window shows, published on the main
// thread. The session feeds it every 100 ms from the capture's levels.
#include <QObject>
#include <utility>

namespace vd::call {

class Vumetres : public QObject {
    Q_OBJECT
    Q_PROPERTY(float vous READ vous NOTIFY niveauxChanges)
    Q_PROPERTY(float prospect READ prospect NOTIFY niveauxChanges)
public:
    struct Niveaux {
        float vous = 0.0f;
        float prospect = 0.0f;
        bool operator==(const Niveaux&) const = default;
    };

    using QObject::QObject;
    Niveaux niveaux() const { return niveaux_; }
    float vous() const { return niveaux_.vous; }
    float prospect() const { return niveaux_.prospect; }

    // Rounds each level to a multiple of 0.001 and publishes only when one
    // changed; returns whether it did.
    bool publier(float vous, float prospect);
    bool publier(std::pair<float, float> niveaux) { return publier(niveaux.first, niveaux.second); }

Q_SIGNALS:
    void niveauxChanges(float vous, float prospect);

private:
    Niveaux niveaux_;
};

} // namespace vd::call
