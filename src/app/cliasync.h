#pragma once
// Commands run one backend call at a time: the event loop turns until its task is done.
#include <QEventLoop>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vd::app {

template<typename T>
T attendre(QCoro::Task<T>&& tache)
{
    std::optional<T> r;
    QEventLoop boucle;
    auto suite = tache.then([&r, &boucle](T v) {
        r.emplace(std::move(v));
        boucle.quit();
    });
    if (!r)
        boucle.exec();
    return std::move(*r);
}

} // namespace vd::app
