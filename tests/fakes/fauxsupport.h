#pragma once
// The support functions of the backend emulator ("functions/v1/support/…"):
// tickets and their threads kept in memory, attachments uploaded as raw
// bodies ("x-vd-nom" percent-encoded UTF-8, "x-vd-ticket"), the help state
// counters, and the help chat's answers scripted by the test.
//
//   fakes::FauxSupabase serveur(&horloge);
//   fakes::FauxSupport support(serveur);
//   support.reponsesChat << QJsonObject{{"texte", "Ouvrez Réglages."}, {"propose_ticket", true}};
//   support.refuserPiece("journal.log", 413, "piece_trop_lourde");
//   support.repondreEnTantQueSupport(id, "Corrigé dans la prochaine version.");
#include "fakes/fauxsupabase.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>

namespace vd::fakes {

class FauxSupport : public QObject {
    Q_OBJECT
public:
    explicit FauxSupport(FauxSupabase& serveur, platform::Horloge* horloge = nullptr, QObject* parent = nullptr);

    struct Piece {
        QString id, nom, type, ticket;
        QByteArray donnees;
    };

    // State.
    QList<QJsonObject> tickets;         // newest first, with their "messages"
    QHash<QString, Piece> pieces;       // uploaded, by id
    QList<QString> ordrePieces;         // ids in upload order
    int messagesUtilises = 0;
    int limite = 30;
    // The chat: answers given in order (the last one stays), and the bodies received.
    QList<QJsonObject> reponsesChat{QJsonObject{{QStringLiteral("texte"), QStringLiteral("Voici comment faire.")}}};
    QList<QJsonObject> questions;
    // The next uploads of this file name are refused with this status and code.
    void refuserPiece(const QString& nom, int statut, const QString& code, int fois = 1);

    // A reply from the support team: the ticket becomes unread.
    void repondreEnTantQueSupport(const QString& ticket, const QString& texte);
    int nonLus() const;

private:
    ReponseHttpFactice etat(const RequeteHttp& r);
    ReponseHttpFactice liste(const RequeteHttp& r);
    ReponseHttpFactice ticket(const RequeteHttp& r);
    ReponseHttpFactice repondre(const RequeteHttp& r);
    ReponseHttpFactice piece(const RequeteHttp& r);
    ReponseHttpFactice lien(const RequeteHttp& r);
    ReponseHttpFactice chat(const RequeteHttp& r);
    bool connecte(const RequeteHttp& r) const;
    QJsonObject* trouver(const QString& id);
    // The ids of the body's "pieces", all known; false otherwise.
    bool piecesValides(const QJsonValue& v, QJsonArray* sortie) const;
    QJsonObject message(const QString& auteur, const QString& texte, const QJsonArray& pieces, bool conversation);
    QString maintenant() const;
    QJsonObject resume(const QJsonObject& t) const;

    FauxSupabase& serveur_;
    platform::Horloge* horloge_;
    struct Refus {
        int statut;
        QString code;
        int fois;
    };
    QHash<QString, Refus> refus_;
    int suivant_ = 0;
};

} // namespace vd::fakes
