#include "interfaces.h"

#include "platform/formulation.h"

namespace vd::call {

QString ErreurCaptureAudio::description() const
{
    return platform::formuler(texteMac());
}

QString ErreurCaptureAudio::texteMac() const
{
    switch (genre) {
    case Genre::indisponible: return QStringLiteral("La capture audio n'est pas disponible sur ce Mac. Utilisez l'appel simulé.");
    case Genre::microRefuse:
        return QStringLiteral("L'accès au micro est refusé. Autorisez Vendalo dans Réglages Système, Confidentialité et sécurité, Micro, puis relancez l'appel.");
    case Genre::aucunMicro: return QStringLiteral("Aucun micro détecté. Branchez un micro et réessayez.");
    case Genre::microIndisponible:
        return QStringLiteral("Impossible d'ouvrir le micro. Vérifiez vos réglages audio, ou fermez l'application qui l'utilise.");
    case Genre::ecranRefuse:
        return QStringLiteral("Le son du Mac n'est pas autorisé. Autorisez Vendalo dans Réglages Système, Confidentialité et sécurité, Enregistrement de l'écran et de l'audio du système, puis relancez l'app.");
    case Genre::aucunEcran:
        return QStringLiteral("Aucun écran n'est disponible pour capter le son du Mac. Branchez ou allumez un écran, puis réessayez.");
    case Genre::sonMacIndisponible: return QStringLiteral("Le son du Mac n'a pas pu être capté. Réessayez dans un instant, ou relancez l'app.");
    }
    return {};
}

} // namespace vd::call
