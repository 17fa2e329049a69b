#pragma once
// The assistant's page: conversations on the left, the exchange in the middle
// (questions, streamed answers, tool lines, proposal cards, memory notices,
// errors), the question field at the bottom.
#include "assistant/quillosession.h"
#include "ui/ecrans/ecranbase.h"

#include <QHash>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;
class QScrollArea;

namespace vd::assistant {

class EcranQuillo : public ui::EcranBase {
    Q_OBJECT
public:
    EcranQuillo(ui::Contexte& ctx, QWidget* parent = nullptr);
    ~EcranQuillo() override;
    QString titre() const override { return QStringLiteral("Quillo"); }
    std::optional<Action> actionPrincipale() const override;
    void afficher(const ui::Ecran& e) override;

    QuilloSession& session() { return *session_; }
    void poser(const QString& question);

private:
    void reconstruire();
    void surTexte(const QString& id);
    void listerConversations();
    QWidget* carteProposition(const ElementQuillo& e);

    std::unique_ptr<QuilloSession> session_;
    QListWidget* liste_ = nullptr;
    QScrollArea* defil_ = nullptr;
    QWidget* fil_ = nullptr;
    QVBoxLayout* filLayout_ = nullptr;
    QLabel* bandeau_ = nullptr;
    QLineEdit* champ_ = nullptr;
    QPushButton* envoyer_ = nullptr;
    QHash<QString, QLabel*> textes_;
};

// Markdown of the model made safe to show: no raw HTML, no images.
QString markdownSur(const QString& texte);

} // namespace vd::assistant
