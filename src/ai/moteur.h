#pragma once
// Host of moteur.js, the selling method (assembled from resources/moteur/*.js), on JavaScriptCore. One
// context for the process, loaded on first use; every call is serialised.
#include "platform/resultat.h"

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>

namespace vd::ai {

struct ErreurMoteur {
    enum class Genre { chargement, js, decodage };
    Genre genre = Genre::js;
    QString detail;
    // "Le moteur n'a pas pu démarrer. …", the script's message, or "Réponse du moteur illisible. …"
    QString description() const;
    static ErreurMoteur chargement(QString d) { return {Genre::chargement, std::move(d)}; }
    static ErreurMoteur js(QString d) { return {Genre::js, std::move(d)}; }
    static ErreurMoteur decodage(QString d) { return {Genre::decodage, std::move(d)}; }
};

// A value returned by the script.
struct ValeurJS {
    enum class Type { indefini, null, booleen, nombre, texte, objet };
    Type type = Type::indefini;
    bool booleen = false;
    double nombre = 0;
    QString texte;   // for texte; for objet, its JSON text
};

class Moteur {
public:
    // Arguments: strings, numbers, booleans and null go to the script as such;
    // objects and arrays are passed as their JSON text (sorted keys, "/" unescaped).
    using Arguments = QList<QJsonValue>;

    // The process's engine (script found by platform::dossierRessources()).
    static Moteur& instance();
    explicit Moteur(QString cheminScript);
    ~Moteur();
    Moteur(const Moteur&) = delete;
    Moteur& operator=(const Moteur&) = delete;

    // Loads now if not yet done; none when ready, else why it failed (sticky).
    std::optional<QString> charger();

    // A function that returns undefined on purpose (chargerEtat) gives a value of
    // type indefini; only an exception or a missing function is a failure.
    Resultat<ValeurJS, ErreurMoteur> appeler(const QString& nom, const Arguments& args = {});
    // The result must be a string holding JSON text.
    Resultat<QJsonValue, ErreurMoteur> appelerJSON(const QString& nom, const Arguments& args = {});
    // True when the loaded script defines the function nom. Functions are looked
    // up once and kept: the script does not replace them while it runs.
    bool aFonction(const QString& nom);

    // appelerJSON, then the JSON decoded into a record type (T::depuisJson,
    // lenient); a value of the wrong shape is a decodage failure.
    template<typename T>
    Resultat<T, ErreurMoteur> appelerEn(const QString& nom, const Arguments& args = {})
    {
        auto r = appelerJSON(nom, args);
        if (!r)
            return echec(r.erreur());
        std::optional<T> v = T::depuisJson(r.valeur());
        if (!v)
            return echec(ErreurMoteur::decodage(QStringLiteral("La réponse de Moteur.%1 n'a pas la forme attendue.").arg(nom)));
        return std::move(*v);
    }

    Resultat<QString, ErreurMoteur> appelerTexte(const QString& nom, const Arguments& args = {});
    Resultat<double, ErreurMoteur> appelerNombre(const QString& nom, const Arguments& args = {});
    Resultat<bool, ErreurMoteur> appelerBooleen(const QString& nom, const Arguments& args = {});

    // Runs f with the engine lock held, for sequences that need fresh data
    // (chargerEtat then a task) without another caller slipping in between.
    template<typename F>
    auto enSequence(F&& f)
    {
        std::lock_guard<std::recursive_mutex> verrou(mutex_);
        return f(*this);
    }

    // The script's vocabularies (Moteur.donnees), read once, each key with its
    // built-in fallback when absent or empty.
    QJsonValue donnee(const QString& cle);
    static QJsonValue donneeParDefaut(const QString& cle);

    // Deal phase of a contact or step, memoised by its JSON text.
    Resultat<QString, ErreurMoteur> phaseDeduite(const QJsonValue& entree);
    Resultat<QString, ErreurMoteur> phaseEtape(const QJsonValue& entree);

    QString cheminScript() const { return chemin_; }

private:
    struct Prive;
    std::unique_ptr<Prive> d_;
    QString chemin_;
    std::recursive_mutex mutex_;
    std::optional<QJsonObject> donnees_;
    QHash<QString, QString> cachePhases_;
    Resultat<QString, ErreurMoteur> phase(const QString& fonction, const QJsonValue& entree);
    static Resultat<QJsonValue, ErreurMoteur> decoderJson(const QString& nom, const QString& texte);
};

// Encodes a JSON value with sorted keys and "/" unescaped, as the script expects.
QByteArray texteJsonTrie(const QJsonValue& v);

} // namespace vd::ai
