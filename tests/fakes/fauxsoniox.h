#pragma once
// A Soniox-like real-time service: checks the configuration frame (nine
// keys, exact values), audio frames, keep-alives and the empty end frame,
// and answers from a script (tokens, markers, errors then a close,
// `finished`, dropped sockets, silence).
#include "fauxws.h"

#include <QJsonArray>
#include <QJsonObject>
#include <optional>

namespace vd::fakes {

class FauxSoniox final : public ServeurWsFactice {
    Q_OBJECT
public:
    using ServeurWsFactice::ServeurWsFactice;
    QUrl url() const { return ServeurWsFactice::url(QStringLiteral("/transcribe-websocket")); }

    // Configuration frame of connection i (empty before it arrives).
    QJsonObject configuration(int i) const { return configurations_.value(i); }
    // Key the service accepts; any other gets error 401 then a close. Empty: any key.
    QString cleAttendue;
    // The next configuration frames are answered with this error then a close.
    void erreurALaConfiguration(int code, QString type, QString message, int fois = 1);
    // On the end frame: these messages, then {"finished":true} and a close.
    bool repondreFin = true;
    QList<QJsonObject> reponsesFin;
    // Sent once to the first connection whose diarisation flag matches, as
    // soon as it has received that much audio (ms).
    void programmer(bool diarisation, qint64 apresMs, const QJsonObject& message);

    void envoyerJetons(int i, const QJsonArray& jetons);
    void envoyerErreur(int i, int code, const QString& type, const QString& message);   // then close
    void envoyerFini(int i);

    static QJsonObject jeton(const QString& texte, qint64 debutMs, qint64 finMs, bool final,
                             std::optional<qint64> locuteur = std::nullopt);
    static QJsonObject fin() { return QJsonObject{{QStringLiteral("text"), QStringLiteral("<end>")}, {QStringLiteral("is_final"), true}}; }

protected:
    void surTexte(int i, const QString& texte) override;
    void surAudio(int i, const QByteArray& audio) override;

private:
    struct Programme {
        bool diarisation;
        qint64 apresMs;
        QJsonObject message;
        bool envoye = false;
    };
    struct ErreurProgrammee {
        int code;
        QString type, message;
    };
    void verifierConfiguration(int i, const QJsonObject& o);
    void avancerScript();
    QMap<int, QJsonObject> configurations_;
    QList<ErreurProgrammee> erreurs_;
    QList<Programme> programme_;
};

} // namespace vd::fakes
