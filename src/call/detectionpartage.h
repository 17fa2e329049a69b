#pragma once
// Screen-share detection: every two seconds the windows on screen are matched
// against the small bars and indicator windows that the common video-call tools
// show while sharing, so that the prompter can stay off the prospect's screen.
#include "platform/fenetres.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

namespace vd::platform {
class Horloge;
class Minuterie;
}

namespace vd::call {

class DetectionPartage : public QObject {
    Q_OBJECT
public:
    struct Indice {
        QString source;
        QStringList apps;     // substrings of the owner's name
        QStringList titres;   // substrings of the title
    };
    static const QList<Indice>& indices();
    // Case and accents folded, white space collapsed.
    static QString normaliser(const QString& texte);
    // The tool sharing, from the first window that some indication matches.
    static std::optional<QString> detecter(const QList<platform::FenetreEcran>& fenetres);

    // actif: read before each scan; a scan is skipped (and any share forgotten) when it says no.
    DetectionPartage(platform::LecteurFenetres& lecteur, platform::Horloge& horloge, std::function<bool()> actif = {},
                     QObject* parent = nullptr);

    void demarrer();
    void arreter();
    void examiner();

    bool partageEnCours() const { return source_.has_value(); }
    const std::optional<QString>& source() const { return source_; }
    // False once the window list turned out unreadable here.
    bool disponible() const { return disponible_; }

Q_SIGNALS:
    void change();

private:
    void publier(std::optional<QString> source);

    platform::LecteurFenetres& lecteur_;
    std::function<bool()> actif_;
    platform::Minuterie* minuteur_ = nullptr;
    std::optional<QString> source_;
    bool disponible_ = true;
};

} // namespace vd::call
