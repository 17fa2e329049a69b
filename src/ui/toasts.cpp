#include "toasts.h"

namespace vd::ui {

int Toasts::montrer(const QString& message, Toast::Genre genre, std::optional<QString> libelleAction, std::function<void()> action)
{
    Toast t;
    t.id = prochain_++;
    t.message = message;
    t.genre = genre;
    t.libelleAction = std::move(libelleAction);
    t.action = std::move(action);
    liste_.append(t);
    if (liste_.size() > 4)
        liste_.removeFirst();
    Q_EMIT change();
    return t.id;
}

void Toasts::retirer(int id)
{
    for (qsizetype i = 0; i < liste_.size(); ++i)
        if (liste_[i].id == id) {
            liste_.removeAt(i);
            Q_EMIT change();
            return;
        }
}

void Toasts::agir(int id)
{
    for (const Toast& t : liste_)
        if (t.id == id) {
            auto a = t.action;
            retirer(id);
            if (a)
                a();
            return;
        }
}

} // namespace vd::ui
