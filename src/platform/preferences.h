#pragma once
// User preferences (key-value), keys as "vd.…". QSettings in the app, memory in tests.
#include <QHash>
#include <QSettings>
#include <QVariant>
#include <memory>

namespace vd::platform {

class Preferences {
public:
    virtual ~Preferences() = default;
    virtual QVariant valeur(const QString& cle, const QVariant& defaut = {}) const = 0;
    virtual void definir(const QString& cle, const QVariant& valeur) = 0;
    virtual void supprimer(const QString& cle) = 0;
    virtual bool contient(const QString& cle) const = 0;

    static Preferences& instance();
    static void installer(Preferences* p);   // nullptr restores the QSettings store
};

class PreferencesQSettings final : public Preferences {
public:
    PreferencesQSettings();
    QVariant valeur(const QString& cle, const QVariant& defaut) const override;
    void definir(const QString& cle, const QVariant& valeur) override;
    void supprimer(const QString& cle) override;
    bool contient(const QString& cle) const override;

private:
    std::unique_ptr<QSettings> s_;
};

class PreferencesMemoire final : public Preferences {
public:
    QVariant valeur(const QString& cle, const QVariant& defaut) const override { return v_.value(cle, defaut); }
    void definir(const QString& cle, const QVariant& valeur) override { v_.insert(cle, valeur); }
    void supprimer(const QString& cle) override { v_.remove(cle); }
    bool contient(const QString& cle) const override { return v_.contains(cle); }

private:
    QHash<QString, QVariant> v_;
};

} // namespace vd::platform
