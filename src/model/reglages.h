#pragma once
// The user's settings (Etat.reglages).
#include "json.h"

namespace vd::model {

struct Commercial {
    QString prenom, nom, role, email;
    QString style = QStringLiteral("consultatif");
    bool operator==(const Commercial&) const = default;
    static std::optional<Commercial> depuisJson(const VueJson& v);
    static std::optional<Commercial> depuisJson(const QJsonValue& v) { return depuisQt<Commercial>(v); }
};

struct ChoixModeles {
    QString live = QStringLiteral("claude-haiku-4-5");
    QString analyse = QStringLiteral("claude-sonnet-5-5");
    bool operator==(const ChoixModeles&) const = default;
    static std::optional<ChoixModeles> depuisJson(const VueJson& v);
    static std::optional<ChoixModeles> depuisJson(const QJsonValue& v) { return depuisQt<ChoixModeles>(v); }
};

struct ReglagesSouffleur {
    qint64 fenetreContexteSec = 180;
    bool antiRepetition = true;
    QString detection = QStringLiteral("suggerer");   // "off" | "suggerer"
    QString tailleTexte = QStringLiteral("moyen");    // "petit" | "moyen" | "grand"
    double opacite = 0.96;                            // 0.6 … 1.0
    bool modeUneLigne = false;
    QString theme = QStringLiteral("sombre");         // "sombre" | "clair"
    bool masquerPendantPartage = true;
    bool animations = false;                          // never read from the file
    bool operator==(const ReglagesSouffleur&) const = default;
    static std::optional<ReglagesSouffleur> depuisJson(const VueJson& v);
    static std::optional<ReglagesSouffleur> depuisJson(const QJsonValue& v) { return depuisQt<ReglagesSouffleur>(v); }
};

struct ReglagesAudio {
    QString source = QStringLiteral("micro+mac");   // the only source there is
    bool operator==(const ReglagesAudio&) const = default;
    static std::optional<ReglagesAudio> depuisJson(const VueJson& v);
    static std::optional<ReglagesAudio> depuisJson(const QJsonValue& v) { return depuisQt<ReglagesAudio>(v); }
};

struct ReglagesTranscription {
    QString moteur = QStringLiteral("soniox");   // "soniox" | "deepgram"
    bool sonioxEurope = false;
    bool operator==(const ReglagesTranscription&) const = default;
    static std::optional<ReglagesTranscription> depuisJson(const VueJson& v);
    static std::optional<ReglagesTranscription> depuisJson(const QJsonValue& v) { return depuisQt<ReglagesTranscription>(v); }
};

struct CibleEnregistrement {
    QString type = QStringLiteral("ecran");
    QString bundleId, nomApp, titre;
    bool operator==(const CibleEnregistrement&) const = default;
    static std::optional<CibleEnregistrement> depuisJson(const VueJson& v);
    static std::optional<CibleEnregistrement> depuisJson(const QJsonValue& v) { return depuisQt<CibleEnregistrement>(v); }
};

struct ReglagesEnregistrement {
    bool actif = true;
    bool choisi = false;
    QString mention = QStringLiteral(
        "Pour un compte rendu fidèle, cet échange sera enregistré (vidéo et audio) avec Vendalo. "
        "L'enregistrement reste privé et ne sert qu'au suivi de notre échange. Si vous préférez qu'il "
        "ne le soit pas, dites-le simplement en début d'appel.");
    CibleEnregistrement cible;
    bool operator==(const ReglagesEnregistrement&) const = default;
    static std::optional<ReglagesEnregistrement> depuisJson(const VueJson& v);
    static std::optional<ReglagesEnregistrement> depuisJson(const QJsonValue& v) { return depuisQt<ReglagesEnregistrement>(v); }
};

JSONValeur reglagesQuilloParDefaut();

struct Reglages {
    bool onboarde = false;
    Commercial commercial;
    QString langue = QStringLiteral("fr");
    QString methode = QStringLiteral("aucune");
    ChoixModeles modeles;
    ReglagesSouffleur souffleur;
    ReglagesAudio audio;
    bool discret = true;
    QString relais;
    JSONValeur quillo = reglagesQuilloParDefaut();   // ReglagesQuillo, kept whole for now
    std::optional<qint64> conservationMois;
    ReglagesEnregistrement enregistrement;
    ReglagesTranscription transcription;
    bool operator==(const Reglages&) const = default;
    static std::optional<Reglages> depuisJson(const VueJson& v);
    static std::optional<Reglages> depuisJson(const QJsonValue& v) { return depuisQt<Reglages>(v); }
};

void ecrire(EcrivainJson& e, const Commercial& r);
void ecrire(EcrivainJson& e, const ChoixModeles& r);
void ecrire(EcrivainJson& e, const ReglagesSouffleur& r);
void ecrire(EcrivainJson& e, const ReglagesAudio& r);
void ecrire(EcrivainJson& e, const ReglagesTranscription& r);
void ecrire(EcrivainJson& e, const CibleEnregistrement& r);
void ecrire(EcrivainJson& e, const ReglagesEnregistrement& r);
void ecrire(EcrivainJson& e, const Reglages& r);

} // namespace vd::model
