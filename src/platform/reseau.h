#pragma once
// Whether the network is reachable, and when that changes: the system's
// monitor (Qt's network information backends: NetworkManager, GLib) or a
// stand-in for tests. Without a backend the network counts as reachable.
#include <QObject>

namespace vd::platform {

class Reseau : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool disponible() const = 0;
    // The process's monitor (created on first use, on the main thread).
    static Reseau& systeme();

Q_SIGNALS:
    void disponibiliteChangee(bool disponible);
};

class ReseauFactice final : public Reseau {
public:
    using Reseau::Reseau;
    bool disponible() const override { return disponible_; }
    void fixer(bool d)
    {
        if (d == disponible_)
            return;
        disponible_ = d;
        Q_EMIT disponibiliteChangee(d);
    }

private:
    bool disponible_ = true;
};

} // namespace vd::platform
