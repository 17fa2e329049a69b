#include "reseau.h"

#include <QCoreApplication>
#include <QNetworkInformation>

namespace vd::platform {

namespace {

class ReseauSysteme final : public Reseau {
public:
    ReseauSysteme()
    {
        if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
            return;
        info_ = QNetworkInformation::instance();
        if (info_)
            connect(info_, &QNetworkInformation::reachabilityChanged, this,
                    [this](QNetworkInformation::Reachability) { Q_EMIT disponibiliteChangee(disponible()); });
    }
    bool disponible() const override
    {
        if (!info_)
            return true;
        const auto r = info_->reachability();
        return r != QNetworkInformation::Reachability::Disconnected;
    }

private:
    QNetworkInformation* info_ = nullptr;
};

} // namespace

Reseau& Reseau::systeme()
{
    static ReseauSysteme* r = [] {
        auto* x = new ReseauSysteme;
        if (QCoreApplication::instance())
            x->setParent(QCoreApplication::instance());
        return x;
    }();
    return *r;
}

} // namespace vd::platform
