#pragma once
// In-window transient messages.
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace vd::ui {

class Toasts : public QObject {
    Q_OBJECT
public:
    struct Toast {
        enum class Genre { ok, erreur, info };
        int id = 0;
        QString message;
        Genre genre = Genre::info;
        std::optional<QString> libelleAction;
        std::function<void()> action;
    };
    using QObject::QObject;

    int montrer(const QString& message, Toast::Genre genre = Toast::Genre::info, std::optional<QString> libelleAction = std::nullopt,
                std::function<void()> action = {});
    void retirer(int id);
    void agir(int id);
    const QList<Toast>& toasts() const { return liste_; }

Q_SIGNALS:
    void change();

private:
    QList<Toast> liste_;
    int prochain_ = 1;
};

} // namespace vd::ui
