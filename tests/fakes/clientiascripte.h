#pragma once
// A language-model client driven by the test: every request is recorded and
// answered only when the test says so (partial values, final text, failure).
#include "ai/clientia.h"

#include <QList>
#include <QPointer>

namespace vd::fakes {

class DemandeScriptee : public ai::DemandeIA {
    Q_OBJECT
public:
    using ai::DemandeIA::DemandeIA;
    void annuler() override { annulee = true; }
    void envoyerPartiel(const QJsonValue& v) { if (!annulee) Q_EMIT partiel(v); }
    void terminer(const QString& texte, const ai::InfosGeneration& infos = {}) { if (!annulee) Q_EMIT fini(texte, infos); }
    void echouer(const QString& message) { if (!annulee) Q_EMIT echec(message, QString(), 0); }
    bool annulee = false;
};

class ClientIAScripte : public ai::ClientIABase {
    Q_OBJECT
public:
    using ai::ClientIABase::ClientIABase;
    ai::DemandeIA* envoyer(const ai::RequeteIA& requete) override
    {
        requetes.append(requete);
        auto* d = new DemandeScriptee;
        demandes.append(d);
        return d;
    }
    DemandeScriptee* derniere() const { return demandes.isEmpty() ? nullptr : demandes.last().data(); }
    QList<ai::RequeteIA> requetes;
    QList<QPointer<DemandeScriptee>> demandes;
};

} // namespace vd::fakes
