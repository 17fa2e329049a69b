#pragma once
// Publishes a streamed answer while it grows: at most one publication per
// 80 ms (the rest is scheduled), the text read as incomplete JSON, a value
// published only when it differs from the last one, one last publication at
// the end of the read.
#include "platform/horloge.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

namespace vd::ai {

class DiffuseurPartiel : public QObject {
    Q_OBJECT
public:
    static constexpr int intervalleMs = 80;
    using Rappel = std::function<void(const QJsonValue&)>;

    DiffuseurPartiel(platform::Horloge& horloge, Rappel rappel, QObject* parent = nullptr);

    void ajouter(const QString& fragment);
    // A new attempt: the text starts from empty, a pending publication is dropped.
    void recommencer();
    // Cancels the pending publication, publishes once more, then stays closed.
    void terminer();
    // Closes without a last publication (cancellation).
    void fermer();

    const QString& texte() const { return texte_; }
    bool ferme() const { return ferme_; }
    int publications() const { return publications_; }

private:
    void publier();

    platform::Horloge& horloge_;
    Rappel rappel_;
    QString texte_;
    std::optional<qint64> dernier_;   // monotonic ms of the last publication
    QPointer<platform::Minuterie> minuteur_;
    std::optional<QJsonValue> precedent_;
    bool ferme_ = false;
    int publications_ = 0;
};

} // namespace vd::ai
