#pragma once
// The settings' card for outside AI assistants: which client, its ready-made
// configuration, the personal keys (signed in only), and for the desktop
// assistant the one-click install into its configuration file.
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace vd::cloud {
class ClientSupabase;
class Compte;
} // namespace vd::cloud

namespace vd::assistant {

class ClesMcp;
class InstallationClaudeDesktop;

class SectionConnecteur : public QWidget {
    Q_OBJECT
public:
    // client null: no backend, only the local server is offered. installation
    // null: the system's own (tests give one on a fake environment).
    SectionConnecteur(cloud::ClientSupabase* client, cloud::Compte* compte, InstallationClaudeDesktop* installation = nullptr,
                      QWidget* parent = nullptr);

    QString configuration() const;
    QString message() const;
    ClesMcp* cles() const { return cles_; }
    void choisirClient(const QString& id);   // "local", "bureau", "code", "cursor", "autre"

private:
    void majTexte();
    void majCles();
    void majInstallation();
    QString cleCourante() const;
    bool connecte() const;

    cloud::ClientSupabase* client_;
    cloud::Compte* compte_;
    ClesMcp* cles_;
    InstallationClaudeDesktop* installation_;
    QComboBox* choix_;
    QLabel* explication_;
    QPlainTextEdit* texte_;
    QWidget* blocCles_;
    QVBoxLayout* listeCles_;
    QLineEdit* nomCle_;
    QPushButton* creer_;
    QLabel* nouvelle_;
    QLabel* limites_;
    QWidget* blocBureau_;
    QPushButton *installer_, *retirer_, *deCote_, *relancer_;
    QLabel* message_;
};

} // namespace vd::assistant
