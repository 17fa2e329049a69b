#pragma once
// Credential store: backend session and the vendors' keys. Secret Service
// through QtKeychain; when none answers, a file readable only by the user.
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <optional>

namespace vd::platform {

class Horloge;

class Coffre {
public:
    virtual ~Coffre() = default;
    virtual std::optional<QString> lire(const QString& cle) = 0;
    // Returns an empty string on success, else the reason (French).
    virtual QString ecrire(const QString& cle, const QString& valeur) = 0;
    virtual QString effacer(const QString& cle) = 0;
    // True when secrets are kept in the fallback file (shown in the settings).
    virtual bool enSecours() const { return false; }

    static Coffre& instance();
    static void installer(Coffre* c);   // nullptr restores the system store
};

class CoffreMemoire final : public Coffre {
public:
    std::optional<QString> lire(const QString& cle) override
    {
        auto it = v_.constFind(cle);
        return it == v_.constEnd() ? std::nullopt : std::optional<QString>(*it);
    }
    QString ecrire(const QString& cle, const QString& valeur) override
    {
        v_.insert(cle, valeur);
        return {};
    }
    QString effacer(const QString& cle) override
    {
        v_.remove(cle);
        return {};
    }

private:
    QHash<QString, QString> v_;
};

// QtKeychain, each job run on a private thread with a 10 s limit (a locked
// keyring can open a prompt that never answers); any failure other than
// "not found" switches to the 0600 file for the rest of the process.
// What was read stays known for 30 s: a help request or a call start does not
// wait on the keyring each time, and another process's change shows soon.
class CoffreSysteme final : public Coffre {
public:
    static constexpr qint64 dureeCacheMs = 30000;
    explicit CoffreSysteme(QString service = QStringLiteral("Vendalo"), QString fichierSecours = {}, Horloge* horloge = nullptr);
    ~CoffreSysteme() override;
    std::optional<QString> lire(const QString& cle) override;
    QString ecrire(const QString& cle, const QString& valeur) override;
    QString effacer(const QString& cle) override;
    bool enSecours() const override { return secours_; }
    QString fichierSecours() const { return fichier_; }

private:
    std::optional<QString> lireSansCache(const QString& cle);
    void retenir(const QString& cle, const std::optional<QString>& valeur);

    QString service_;
    QString fichier_;
    Horloge& horloge_;
    bool secours_ = false;
    bool forceSecours_ = false;
    struct Connu {
        std::optional<QString> valeur;
        qint64 lu = 0;   // monotonic ms
    };
    QMutex verrouCache_;
    QHash<QString, Connu> cache_;
    QHash<QString, QString> lireFichier() const;
    QString ecrireFichier(const QHash<QString, QString>& v) const;
};

} // namespace vd::platform
