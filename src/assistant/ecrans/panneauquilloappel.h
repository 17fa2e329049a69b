#pragma once
// Quillo beside a live call: a question field under the prompter and one card
// per exchange (its answer, its tool lines, its proposals to apply or set aside),
// asked with the live call's context.
#include "assistant/quillosession.h"

#include <QFrame>
#include <functional>
#include <memory>

class QLineEdit;
class QVBoxLayout;

namespace vd::call {
class SessionAppel;
}
namespace vd::platform {
class Horloge;
}

namespace vd::assistant {

class PanneauQuilloAppel : public QFrame {
    Q_OBJECT
public:
    PanneauQuilloAppel(model::Store& store, call::SessionAppel* appel, platform::Horloge* horloge, QWidget* parent = nullptr);
    ~PanneauQuilloAppel() override;
    QuilloSession& session() { return *session_; }
    void poser(const QString& question);

private:
    void reconstruire();

    model::Store& store_;
    call::SessionAppel* appel_;
    std::unique_ptr<QuilloSession> session_;
    QLineEdit* champ_ = nullptr;
    QVBoxLayout* groupes_ = nullptr;
};

} // namespace vd::assistant
