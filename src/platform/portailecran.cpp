#include "platform/portailecran.h"
#include "platform/preferences.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPortailEcran, "vd.platform.portail")

namespace vd::platform {

namespace {
const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString chemin = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interfacePartage = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString interfaceRequete = QStringLiteral("org.freedesktop.portal.Request");
const QString interfaceSession = QStringLiteral("org.freedesktop.portal.Session");
constexpr int delaiAppel = 30'000;
constexpr uint curseurIncruste = 2;
constexpr uint persistanceDurable = 2;

// Our unique bus name as the portal writes it in object paths.
QString expediteur(const QDBusConnection& bus)
{
    QString e = bus.baseService().mid(1);
    e.replace(QLatin1Char('.'), QLatin1Char('_'));
    return e;
}
} // namespace

QDBusArgument& operator<<(QDBusArgument& a, const FluxPortail& f)
{
    a.beginStructure();
    a << f.noeud << f.proprietes;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, FluxPortail& f)
{
    a.beginStructure();
    a >> f.noeud >> f.proprietes;
    a.endStructure();
    return a;
}

QString PortailEcran::annule()
{
    return QStringLiteral("Vous avez annulé le choix de ce qu'il faut filmer : seul le son est enregistré.");
}

QString PortailEcran::refuse()
{
    return QStringLiteral("Le bureau n'a pas permis de filmer l'écran : seul le son est enregistré.");
}

QString PortailEcran::arrete()
{
    return QStringLiteral("Le partage de l'écran a été arrêté depuis le bureau : la suite de l'appel est enregistrée sans image.");
}

QString PortailEcran::absent()
{
    return QStringLiteral("Ce bureau ne propose pas le portail de partage d'écran (xdg-desktop-portal) : seul le son est "
                          "enregistré. Installez le portail de votre bureau pour filmer la réunion.");
}

PortailEcranDbus::PortailEcranDbus(QObject* parent) : PortailEcran(parent)
{
    qDBusRegisterMetaType<FluxPortail>();
    qDBusRegisterMetaType<QList<FluxPortail>>();
}

PortailEcranDbus::~PortailEcranDbus()
{
    fermer();
    ecouter({});
    if (!sessionEcoutee_.isEmpty())
        QDBusConnection::sessionBus().disconnect(service, sessionEcoutee_, interfaceSession, QStringLiteral("Closed"), this,
                                                 SLOT(sessionFermee(QVariantMap)));
}

bool PortailEcranDbus::disponible() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    // The portal is usually started by the bus on the first call.
    return bus.interface()->isServiceRegistered(service).value()
           || bus.interface()->activatableServiceNames().value().contains(service);
}

void PortailEcranDbus::ouvrir(Source source)
{
    if (actif_)
        return;
    actif_ = true;
    source_ = source;
    lireProprietes();
}

void PortailEcranDbus::lireProprietes()
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, chemin, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("GetAll"));
    m << interfacePartage;
    auto* attente = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m, delaiAppel), this);
    connect(attente, &QDBusPendingCallWatcher::finished, this, [this, attente] {
        attente->deleteLater();
        QDBusPendingReply<QVariantMap> r = *attente;
        if (!actif_)
            return;
        if (r.isError()) {
            qCWarning(lcPortailEcran) << "portail sans ScreenCast :" << r.error().message();
            echouer(absent());
            return;
        }
        version_ = r.value().value(QStringLiteral("version")).toUInt();
        curseurs_ = r.value().value(QStringLiteral("AvailableCursorModes")).toUInt();
        creerSession();
    });
}

void PortailEcranDbus::ecouter(const QString& requete)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!requete_.isEmpty())
        bus.disconnect(service, requete_, interfaceRequete, QStringLiteral("Response"), this, SLOT(reponse(uint, QVariantMap)));
    requete_ = requete;
    if (!requete_.isEmpty())
        bus.connect(service, requete_, interfaceRequete, QStringLiteral("Response"), this, SLOT(reponse(uint, QVariantMap)));
}

void PortailEcranDbus::demander(const QString& methode, const QVariantList& arguments, QVariantMap options, Suite suite)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The Request path is known before the call (sender and token), so the answer
    // cannot arrive before we listen to it.
    const QString jeton = QStringLiteral("vendalo%1_%2").arg(QCoreApplication::applicationPid()).arg(++jeton_);
    options.insert(QStringLiteral("handle_token"), jeton);
    suite_ = suite;
    ecouter(chemin + QStringLiteral("/request/") + expediteur(bus) + QLatin1Char('/') + jeton);
    QDBusMessage m = QDBusMessage::createMethodCall(service, chemin, interfacePartage, methode);
    m.setArguments(arguments + QVariantList{options});
    auto* attente = new QDBusPendingCallWatcher(bus.asyncCall(m, delaiAppel), this);
    connect(attente, &QDBusPendingCallWatcher::finished, this, [this, attente, methode, numero = jeton_] {
        attente->deleteLater();
        QDBusPendingReply<QDBusObjectPath> r = *attente;
        if (!actif_)
            return;
        if (r.isError()) {
            qCWarning(lcPortailEcran) << methode << "refusé :" << r.error().message();
            echouer(refuse());
            return;
        }
        // Older portals answer with a path of their own choice (unless the answer came first).
        if (numero == jeton_ && suite_ && r.value().path() != requete_)
            ecouter(r.value().path());
    });
}

void PortailEcranDbus::reponse(uint code, const QVariantMap& resultats)
{
    if (!actif_ || !suite_)
        return;
    ecouter({});
    const Suite suite = std::exchange(suite_, nullptr);
    if (code == 1) {
        echouer(annule());
        return;
    }
    if (code != 0) {
        qCWarning(lcPortailEcran) << "le portail répond" << code;
        echouer(refuse());
        return;
    }
    (this->*suite)(resultats);
}

void PortailEcranDbus::creerSession()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString jeton = QStringLiteral("vendalo%1_s%2").arg(QCoreApplication::applicationPid()).arg(++jeton_);
    {
        std::lock_guard l(verrou_);
        session_ = chemin + QStringLiteral("/session/") + expediteur(bus) + QLatin1Char('/') + jeton;
    }
    demander(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), jeton}},
             &PortailEcranDbus::choisirSources);
}

void PortailEcranDbus::choisirSources(const QVariantMap& resultats)
{
    // The handle is text in the results; some portals send an object path.
    const QVariant h = resultats.value(QStringLiteral("session_handle"));
    const QString donne =
        h.metaType() == QMetaType::fromType<QDBusObjectPath>() ? h.value<QDBusObjectPath>().path() : h.toString();
    QString session;
    {
        std::lock_guard l(verrou_);
        if (!donne.isEmpty())
            session_ = donne;
        session = session_;
    }
    sessionEcoutee_ = session;
    QDBusConnection::sessionBus().connect(service, session, interfaceSession, QStringLiteral("Closed"), this,
                                          SLOT(sessionFermee(QVariantMap)));
    QVariantMap options{{QStringLiteral("types"), uint(source_)}, {QStringLiteral("multiple"), false}};
    if (curseurs_ & curseurIncruste)
        options.insert(QStringLiteral("cursor_mode"), curseurIncruste);
    if (version_ >= 4) {
        options.insert(QStringLiteral("persist_mode"), persistanceDurable);
        Preferences& p = Preferences::instance();
        const QString jeton = p.valeur(cleJeton()).toString();
        if (!jeton.isEmpty() && p.valeur(cleJetonSource()).toUInt() == uint(source_))
            options.insert(QStringLiteral("restore_token"), jeton);
    }
    demander(QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(session))}, options,
             &PortailEcranDbus::demarrerPartage);
}

void PortailEcranDbus::demarrerPartage(const QVariantMap&)
{
    QString session;
    {
        std::lock_guard l(verrou_);
        session = session_;
    }
    demander(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session)), QString()}, {},
             &PortailEcranDbus::ouvrirPipeWire);
}

void PortailEcranDbus::ouvrirPipeWire(const QVariantMap& resultats)
{
    const QList<FluxPortail> flux = qdbus_cast<QList<FluxPortail>>(resultats.value(QStringLiteral("streams")));
    if (flux.isEmpty()) {
        echouer(refuse());
        return;
    }
    noeud_ = flux.first().noeud;
    // A new token replaces the one used (tokens are single-use).
    const QString jeton = resultats.value(QStringLiteral("restore_token")).toString();
    if (!jeton.isEmpty()) {
        Preferences::instance().definir(cleJeton(), jeton);
        Preferences::instance().definir(cleJetonSource(), uint(source_));
    }
    QString session;
    {
        std::lock_guard l(verrou_);
        session = session_;
    }
    QDBusMessage m = QDBusMessage::createMethodCall(service, chemin, interfacePartage, QStringLiteral("OpenPipeWireRemote"));
    m << QVariant::fromValue(QDBusObjectPath(session)) << QVariantMap{};
    auto* attente = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m, delaiAppel), this);
    connect(attente, &QDBusPendingCallWatcher::finished, this, [this, attente] {
        attente->deleteLater();
        QDBusPendingReply<QDBusUnixFileDescriptor> r = *attente;
        if (!actif_)
            return;
        if (r.isError() || !r.value().isValid()) {
            qCWarning(lcPortailEcran) << "OpenPipeWireRemote refusé :" << r.error().message();
            echouer(refuse());
            return;
        }
        Q_EMIT pret(r.value(), noeud_);
    });
}

void PortailEcranDbus::sessionFermee(const QVariantMap&)
{
    if (!actif_)
        return;
    actif_ = false;
    {
        std::lock_guard l(verrou_);
        session_.clear();
    }
    Q_EMIT ferme(arrete());
}

void PortailEcranDbus::echouer(const QString& message)
{
    fermer();
    Q_EMIT echec(message);
}

void PortailEcranDbus::fermer()
{
    actif_ = false;
    QString session;
    {
        std::lock_guard l(verrou_);
        session = std::exchange(session_, QString());
    }
    if (session.isEmpty())
        return;
    // A message, not a call: fermer() may run on any thread and never waits.
    QDBusMessage m = QDBusMessage::createMethodCall(service, session, interfaceSession, QStringLiteral("Close"));
    QDBusConnection::sessionBus().send(m);
}

std::unique_ptr<PortailEcran> creerPortailEcran() { return std::make_unique<PortailEcranDbus>(); }

} // namespace vd::platform
