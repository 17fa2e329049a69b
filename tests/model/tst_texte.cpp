// Reading model output: lenient text, vendor names, model labels, partial JSON, dates in free text.
#include "model/texte.h"

#include <QJsonDocument>
#include <QTest>

using namespace vd::model;

class TstTexte : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void texteSouple()
    {
        QStringList lus;
        for (const QJsonValue& v : {QJsonValue(42), QJsonValue(42.0), QJsonValue(0.5), QJsonValue(true), QJsonValue(QJsonObject()),
                                    QJsonValue(QStringLiteral(" tel quel "))})
            lus << TexteSouple::depuisJson(v).valeur.value_or(QStringLiteral("-"));
        QCOMPARE(lus, QStringList({"42", "42", "0.5", "-", "-", " tel quel "}));
    }

    void neutraliser()
    {
        // Brand with family and version, maker, family alone, family and version, transcription service with its model,
        // service alone; lower case is a word, not a name.
        const std::pair<const char*, const char*> cas[] = {
            {"Réponse de Claude Sonnet 4.5 ici", "Réponse de Quillo ici"}, {"Anthropic dit non", "Quillo dit non"},
            {"Opus est lent", "Quillo est lent"},                          {"Haiku 4 répond", "Quillo répond"},
            {"Deepgram Nova-3 a coupé", "transcription a coupé"},          {"erreur Soniox", "erreur transcription"},
            {"claude et soniox", "claude et soniox"},                      {"Bonjour", "Bonjour"}};
        for (const auto& [entree, sortie] : cas)
            QCOMPARE(vd::model::neutraliser(QString::fromUtf8(entree)), QString::fromUtf8(sortie));
    }

    void fournisseur()
    {
        QCOMPARE((QList<bool>{nommeUnFournisseur(QStringLiteral("Invalid Anthropic key")), nommeUnFournisseur(QStringLiteral("GPT quota")),
                              nommeUnFournisseur(QStringLiteral("GPTs")), nommeUnFournisseur(QStringLiteral("Clé refusée"))}),
                 (QList<bool>{true, true, false, false}));   // whole words only
        QCOMPARE((QStringList{libelleModele(QStringLiteral("claude-opus-5-5")), libelleModele(QStringLiteral("CLAUDE-HAIKU-4-5")),
                              libelleModele(QStringLiteral("claude-sonnet-5-5"))}),
                 (QStringList{QStringLiteral("Analyse avancée"), QStringLiteral("Analyse rapide"), QStringLiteral("Analyse")}));
    }

    void partiel()
    {
        // Cut string, trailing comma, after a colon, cut key, nested, cut and whole literals, number cut at its sign, whole
        // number, cut escape, cut unicode escape, blanks; then texts that cannot be completed ("-"), and a complete one.
        const std::pair<const char*, const char*> cas[] = {
            {"{\"reponse\":\"Je compr", "{\"reponse\":\"Je compr\"}"},
            {"{\"a\":1,", "{\"a\":1}"},           {"{\"a\":1,\"b\":", "{\"a\":1}"},  {"{\"a\":1,\"b", "{\"a\":1}"},
            {"{\"l\":[{\"x\":\"y\"},{\"x\":\"z", "{\"l\":[{\"x\":\"y\"},{\"x\":\"z\"}]}"},
            {"{\"a\":[1,tr", "{\"a\":[1]}"},      {"{\"a\":true", "{\"a\":true}"},   {"{\"a\":-", "{}"},
            {"{\"a\":12", "{\"a\":12}"},          {"{\"a\":\"x\\", "{\"a\":\"x\"}"}, {"{\"a\":\"x\\u00", "{\"a\":\"x\"}"},
            {"  {\"a\" : 1 , \n", "{\"a\":1}"},   {"", "-"},                         {"{\"a\":1]}", "-"},
            {"Bonjour", "-"},                     {"{\"a\":[1,2]}", "{\"a\":[1,2]}"}};
        for (const auto& [entree, attendu] : cas) {
            const auto v = completerJsonPartiel(QString::fromUtf8(entree));
            QCOMPARE(v ? QString::fromUtf8(QJsonDocument(v->toObject()).toJson(QJsonDocument::Compact)) : QStringLiteral("-"), QString::fromUtf8(attendu));
        }
    }

    void partielUtf8Coupe()
    {
        // "é" is two bytes: a read that stops between them still completes.
        QByteArray b = QStringLiteral("{\"a\":\"été").toUtf8();
        b.chop(1);
        const auto v = completerJsonPartiel(b);
        QVERIFY(v);
        QCOMPARE(v->toObject().value(QStringLiteral("a")).toString(), QStringLiteral("ét"));
    }

    void partielProfond()
    {
        QByteArray b(100000, '[');
        QVERIFY(!completerJsonPartiel(b));   // refused, not a stack overflow
    }

    void date()
    {
        // Day and hour; month names (not inside "email"); today with a typographic apostrophe; next week across blanks;
        // English; a figure even after "à définir".
        for (const char* t : {"Rappeler jeudi 11 h", "À définir, le 12", "Relancer en mai", "Aujourd’hui après le déjeuner",
                              "La  semaine\tprochaine", "Début février", "Call back tomorrow"})
            QVERIFY2(dateDansTexte(QString::fromUtf8(t)), t);
        for (const char* t : {"À définir", "a definir plus tard", "Envoyer la proposition", "Envoyer l'email", "   ", "Lesdemaines"})
            QVERIFY2(!dateDansTexte(QString::fromUtf8(t)), t);
    }

    void pliage()
    {
        QCOMPARE((QStringList{plier(QStringLiteral("  Élan   d’été\n")), plier(QStringLiteral("ŒUVRE Ça")), plier(QStringLiteral("‘Quoi’"))}),
                 (QStringList{QStringLiteral("elan d'ete"), QStringLiteral("oeuvre ca"), QStringLiteral("'quoi'")}));
    }

    void horodatages()
    {
        const QDateTime t(QDate(2026, 3, 2), QTime(9, 5, 7, 120), Qt::UTC);
        QCOMPARE(horodatage(t), QStringLiteral("2026-03-02T09:05:07.120Z"));
        QCOMPARE(lireHorodatage(QStringLiteral("2026-03-02T09:05:07.120Z")).value(), t);
        QCOMPARE(lireHorodatage(QStringLiteral("2026-03-02T10:05:07+01:00")).value().toUTC(), QDateTime(QDate(2026, 3, 2), QTime(9, 5, 7), Qt::UTC));
        QVERIFY(!lireHorodatage(QStringLiteral("hier")));
    }
};

QTEST_GUILESS_MAIN(TstTexte)
#include "tst_texte.moc"
