#pragma once
// Attachments of the help panel: what a file is (judged on its bytes, never on
// its name), the size and count limits, the JPEG form in which the help chat
// reads images, and the per-process folder for screenshots.
#include "platform/resultat.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <optional>

namespace vd::assistant {

struct PieceJointe {
    enum class Etat { prete, envoi, envoyee, erreur };
    QString id, nom, type;
    QByteArray donnees;
    std::optional<int> largeur, hauteur;
    Etat etat = Etat::prete;
    QString erreur;                   // the reason, in the erreur state
    std::optional<QString> idServeur; // once uploaded
    QImage apercu;                    // images: a thumbnail

    bool operator==(const PieceJointe&) const = default;
};

struct PieceServeur {
    QString id, nom, type;
    qint64 taille = 0;
    std::optional<int> largeur, hauteur;
    QString auteur;
    std::optional<QUrl> url, urlTelecharger;

    bool operator==(const PieceServeur&) const = default;
    static PieceServeur depuisJson(const QJsonObject& o);
};

namespace PiecesJointes {

struct Refus {
    QString message;
    bool operator==(const Refus&) const = default;
};

inline constexpr qint64 tailleMax = 10LL * 1024 * 1024;
inline constexpr int maxParMessage = 5;
inline constexpr int maxCapturesQuestion = 3;
inline constexpr int cotePrincipal = 1568;
inline constexpr int qualitePrincipale = 80;
inline constexpr int coteRepli = 1200;
inline constexpr int qualiteRepli = 60;
inline constexpr int coteApercu = 160;

namespace textes {
inline const QString typeRefuse = QStringLiteral(
    "Ce type de fichier n'est pas accepté. Joignez une image, un PDF, une vidéo courte (MOV, MP4) ou un journal (TXT, LOG).");
inline const QString tropDeFichiers = QStringLiteral("5 fichiers au plus par message.");
inline const QString imagesSeulement = QStringLiteral("L'aide lit seulement les images. Joignez ce fichier à un ticket.");
inline const QString tropDeCaptures = QStringLiteral("3 captures au plus par question.");
inline const QString neSOuvrePas = QStringLiteral("La pièce jointe ne s'ouvre pas. Réessayez dans un instant.");
inline const QString imageCollee = QStringLiteral("Image collée.png");
} // namespace textes

enum class Famille { image, pdf, video, journal, autre };
// The family of a file by its content; the name only tells a log from other text.
Famille famille(const QString& nom, const QByteArray& donnees, QString* type = nullptr);

// A file for a ticket: checked, typed by content, images measured with a thumbnail.
Resultat<PieceJointe, Refus> preparer(const QString& nom, const QByteArray& donnees);
// An image for the help chat, re-encoded as JPEG (see reencoder).
Resultat<PieceJointe, Refus> preparerPourChat(const QString& nom, const QByteArray& donnees);
// A file from disk (read failures give the "ne s'ouvre pas" refusal).
Resultat<QByteArray, Refus> lireFichier(const QString& chemin);
// A pasted image, as PNG named "Image collée.png".
QByteArray enPng(const QImage& image);

// JPEG with the longest side at most 1,568 px at quality 80; when that is over
// limite, 1,200 px at quality 60. None when even that is over limite.
std::optional<QByteArray> reencoder(const QImage& image, qint64 limite = tailleMax, QSize* taille = nullptr);

// "Capture d'écran 2026-03-02 à 10.15.00" (local time), without extension.
QString nomCapture(const QDateTime& moment);
// "Vendalo-pieces-<pid>" in the temporary folder, made on first use and removed
// when the application ends.
QString dossierTemporaire();

} // namespace PiecesJointes
} // namespace vd::assistant
