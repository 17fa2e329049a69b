#include "filtreecho.h"

#include <QSet>
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

namespace vd::call {

namespace {

using Paires = std::vector<std::pair<int, int>>;

constexpr qint64 fenetreProspectMs = 15000;
constexpr qint64 margeExamenMs = 4000;

bool estApostrophe(char32_t c) { return c == 0x27 || c == 0x2019 || c == 0x02BC || c == 0x60; }

// Case, diacritic and width folding of one code point, appended to sortie.
// Latin letters with accents are frequent in French: their folding is computed once.
void plierPoint(char32_t c, std::u32string& sortie)
{
    if (c < 0x80) {
        sortie.push_back(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return;
    }
    auto plierLent = [](char32_t x) {
        std::u32string r;
        const QString d = QString::fromUcs4(&x, 1).normalized(QString::NormalizationForm_KD);
        for (char32_t y : d.toUcs4()) {
            const auto cat = QChar::category(y);
            if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_SpacingCombining || cat == QChar::Mark_Enclosing)
                continue;
            r.push_back(QChar::toLower(QChar::toCaseFolded(y)));
        }
        return r;
    };
    if (c < 0x250) {
        static std::array<std::u32string, 0x250> table;
        static std::once_flag fait;
        std::call_once(fait, [&] {
            for (char32_t x = 0x80; x < 0x250; ++x)
                table[x] = plierLent(x);
        });
        sortie += table[c];
        return;
    }
    sortie += plierLent(c);
}

// Raw tokens: the text split on white space, empty parts dropped.
QStringList jetonsBruts(const QString& texte)
{
    QStringList r;
    qsizetype debut = -1;
    for (qsizetype i = 0; i <= texte.size(); ++i) {
        const bool blanc = i == texte.size() || texte.at(i).isSpace();
        if (blanc && debut >= 0) {
            r.append(texte.mid(debut, i - debut));
            debut = -1;
        } else if (!blanc && debut < 0) {
            debut = i;
        }
    }
    return r;
}

int levenshtein(const std::u32string& a, const std::u32string& b)
{
    const size_t n = a.size(), m = b.size();
    std::array<int, 64> tampon{};
    std::vector<int> grand;
    int* ligne = tampon.data();
    if (m + 1 > tampon.size()) {
        grand.resize(m + 1);
        ligne = grand.data();
    }
    for (size_t j = 0; j <= m; ++j)
        ligne[j] = int(j);
    for (size_t i = 1; i <= n; ++i) {
        int diag = ligne[0];
        ligne[0] = int(i);
        for (size_t j = 1; j <= m; ++j) {
            const int haut = ligne[j];
            ligne[j] = std::min({ligne[j] + 1, ligne[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = haut;
        }
    }
    return ligne[m];
}

std::vector<double> tempsEstimes(qint64 debut, qint64 fin, size_t n)
{
    std::vector<double> t(n);
    const double pas = n ? double(std::max<qint64>(fin - debut, 0)) / double(n) : 0;
    for (size_t i = 0; i < n; ++i)
        t[i] = double(debut) + (double(i) + 0.5) * pas;
    return t;
}

bool tempsConcordent(const Paires& paires, const std::vector<double>& nous, const std::vector<double>& eux, double tol)
{
    if (paires.empty())
        return false;
    const auto [i0, j0] = paires.front();
    const auto [iN, jN] = paires.back();
    if (!(nous[i0] <= eux[jN] + tol && eux[j0] - tol <= nous[iN]))
        return false;
    std::vector<double> ecarts;
    ecarts.reserve(paires.size());
    for (const auto& [i, j] : paires)
        ecarts.push_back(nous[i] - eux[j]);
    std::sort(ecarts.begin(), ecarts.end());
    const size_t k = ecarts.size();
    const double mediane = k % 2 ? ecarts[k / 2] : (ecarts[k / 2 - 1] + ecarts[k / 2]) / 2.0;
    return std::abs(mediane) <= std::max(tol, (eux[jN] - eux[j0]) / 2.0);
}

// Longest common subsequence of two word lists (by index lists into the full
// lists), read forward from (0, 0); ties advance our side.
Paires plusLongueSousSuite(const std::vector<int>& a, const std::vector<int>& b, const std::vector<FiltreEcho::Mot>& nous,
                           const std::vector<FiltreEcho::Mot>& eux)
{
    const size_t n = a.size(), m = b.size();
    Paires r;
    if (!n || !m)
        return r;
    std::vector<unsigned char> egal(n * m);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < m; ++j)
            egal[i * m + j] = FiltreEcho::motsEgaux(nous[a[i]].points, eux[b[j]].points);
    const size_t w = m + 1;
    std::vector<int> L((n + 1) * w, 0);
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            L[i * w + j] = egal[i * m + j] ? L[(i + 1) * w + j + 1] + 1 : std::max(L[(i + 1) * w + j], L[i * w + j + 1]);
    size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (egal[i * m + j] && L[i * w + j] == L[(i + 1) * w + j + 1] + 1) {
            r.emplace_back(a[i], b[j]);
            ++i;
            ++j;
        } else if (L[(i + 1) * w + j] >= L[i * w + j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return r;
}

std::vector<Paires> couperEnSuites(const Paires& paires)
{
    std::vector<Paires> suites;
    for (const auto& p : paires) {
        if (!suites.empty()) {
            const auto& d = suites.back().back();
            if (p.first - d.first < 3 && p.second - d.second < 3) {
                suites.back().push_back(p);
                continue;
            }
        }
        suites.push_back({p});
    }
    return suites;
}

bool estPonctuationDeTete(QChar c)
{
    const char16_t u = c.unicode();
    return u == ',' || u == ';' || u == ':' || u == '.' || u == '!' || u == '?' || u == 0x2026 || u == '-';
}

} // namespace

bool FiltreEcho::estHesitation(const QString& norme)
{
    static const QSet<QString> liste = {QStringLiteral("euh"), QStringLiteral("heu"), QStringLiteral("hum"),
                                        QStringLiteral("hmm"), QStringLiteral("mmh"), QStringLiteral("mhm"),
                                        QStringLiteral("ben"), QStringLiteral("bah"), QStringLiteral("hein"),
                                        QStringLiteral("bon")};
    return liste.contains(norme);
}

bool FiltreEcho::estAcquiescement(const QString& norme)
{
    static const QSet<QString> liste = [] {
        QSet<QString> s;
        for (const char* m : {"oui", "ouais", "non", "si", "daccord", "ok", "okay", "tres", "bien", "parfait",
                              "exactement", "absolument", "entendu", "super", "merci", "top", "voila", "tout", "a",
                              "fait", "sur", "je", "comprends", "vois", "cest", "ca", "note", "bon", "ah", "oh", "hum",
                              "euh", "mmh", "hmm", "mhm", "effectivement", "evidemment", "genial", "nickel",
                              "carrement", "allez", "vas", "y", "en", "effet", "et", "alors"})
            s.insert(QString::fromLatin1(m));
        return s;
    }();
    return liste.contains(norme);
}

std::vector<FiltreEcho::Mot> FiltreEcho::tokeniser(const QString& texte)
{
    std::vector<Mot> mots;
    const QStringList bruts = jetonsBruts(texte);
    std::u32string plie, courant;
    for (int origine = 0; origine < bruts.size(); ++origine) {
        plie.clear();
        for (char32_t c : bruts[origine].toUcs4())
            plierPoint(c, plie);
        courant.clear();
        auto finirMot = [&] {
            if (courant.empty())
                return;
            Mot m;
            m.points = courant;
            m.norme = QString::fromUcs4(courant.data(), qsizetype(courant.size()));
            m.origine = origine;
            const bool chiffre = std::any_of(courant.begin(), courant.end(), [](char32_t c) { return QChar::isDigit(c); });
            m.plein = !((courant.size() < 3 && !chiffre) || estHesitation(m.norme));
            mots.push_back(std::move(m));
            courant.clear();
        };
        for (char32_t c : plie) {
            if (estApostrophe(c))
                continue;   // "d'accord" is one word
            if (QChar::isLetterOrNumber(c))
                courant.push_back(c);
            else
                finirMot();
        }
        finirMot();
    }
    return mots;
}

bool FiltreEcho::motsEgaux(const std::u32string& a, const std::u32string& b)
{
    if (a == b)
        return true;
    const size_t la = a.size(), lb = b.size();
    if (la <= 4 || lb <= 4)
        return false;
    if ((la > lb ? la - lb : lb - la) >= 3)
        return false;
    const size_t court = std::min(la, lb);
    return levenshtein(a, b) < (court < 8 ? 2 : 3);
}

void FiltreEcho::vider()
{
    finals_.clear();
    enCours_.reset();
}

void FiltreEcho::ajouter(const QString& texte, qint64 debutMs, qint64 finMs, bool final)
{
    Morceau m{texte, debutMs, std::max(debutMs, finMs), tokeniser(texte)};
    if (!final) {
        enCours_ = std::move(m);
        return;
    }
    finals_.push_back(std::move(m));
    enCours_.reset();
    qint64 plusTard = finals_.front().finMs;
    for (const Morceau& x : finals_)
        plusTard = std::max(plusTard, x.finMs);
    std::erase_if(finals_, [&](const Morceau& x) { return x.finMs < plusTard - fenetreProspectMs; });
}

FiltreEcho::Verdict FiltreEcho::examiner(const QString& texte, qint64 debutMs, qint64 finMs) const
{
    const qint64 fin = std::max(debutMs, finMs);
    const std::vector<Mot> nous = tokeniser(texte);
    if (nous.empty())
        return Verdict::inchange();
    if (nous.size() < 5 && std::all_of(nous.begin(), nous.end(), [](const Mot& m) { return estAcquiescement(m.norme); }))
        return Verdict::inchange();

    // The prospect's words near our text, in time order, with estimated times.
    std::vector<const Morceau*> proches;
    for (const Morceau& m : finals_)
        if (m.finMs >= debutMs - margeExamenMs && m.debutMs <= fin + margeExamenMs)
            proches.push_back(&m);
    if (enCours_ && enCours_->finMs >= debutMs - margeExamenMs && enCours_->debutMs <= fin + margeExamenMs)
        proches.push_back(&*enCours_);
    std::stable_sort(proches.begin(), proches.end(), [](const Morceau* a, const Morceau* b) { return a->debutMs < b->debutMs; });
    std::vector<Mot> eux;
    std::vector<double> tEux;
    for (const Morceau* m : proches) {
        const auto t = tempsEstimes(m->debutMs, m->finMs, m->mots.size());
        eux.insert(eux.end(), m->mots.begin(), m->mots.end());
        tEux.insert(tEux.end(), t.begin(), t.end());
    }
    if (eux.empty())
        return Verdict::inchange();
    const std::vector<double> tNous = tempsEstimes(debutMs, fin, nous.size());

    std::vector<int> pleinsNous, pleinsEux, tousNous(nous.size()), tousEux(eux.size());
    for (int i = 0; i < int(nous.size()); ++i) {
        tousNous[i] = i;
        if (nous[i].plein)
            pleinsNous.push_back(i);
    }
    for (int j = 0; j < int(eux.size()); ++j) {
        tousEux[j] = j;
        if (eux[j].plein)
            pleinsEux.push_back(j);
    }

    if (pleinsNous.size() < 3) {
        if (nous.size() > 1) {
            // A short sentence repeated word for word at about the same time.
            const int n = int(nous.size()), m = int(eux.size());
            for (int o = 0; o + n <= m; ++o) {
                bool tout = true;
                for (int k = 0; k < n && tout; ++k)
                    tout = motsEgaux(nous[k].points, eux[o + k].points);
                if (!tout)
                    continue;
                Paires p;
                for (int k = 0; k < n; ++k)
                    p.emplace_back(k, o + k);
                if (tempsConcordent(p, tNous, tEux, 300))
                    return Verdict::retirer();
                break;
            }
        }
    } else {
        const Paires p = plusLongueSousSuite(pleinsNous, pleinsEux, nous, eux);
        if (double(p.size()) >= 0.6 * double(pleinsNous.size()) && tempsConcordent(p, tNous, tEux, 700))
            return Verdict::retirer();
    }

    // Partial removal: runs of echoed words inside our text.
    const Paires toutes = plusLongueSousSuite(tousNous, tousEux, nous, eux);
    std::vector<Paires> echos;
    for (Paires& s : couperEnSuites(toutes)) {
        if (s.size() < 4)
            continue;
        const int etendue = s.back().first - s.front().first + 1;
        if (double(etendue) * 0.75 > double(s.size()))
            continue;
        const auto pleins = std::count_if(s.begin(), s.end(), [&](const auto& p) { return nous[p.first].plein; });
        if (pleins <= 1)
            continue;
        if (!tempsConcordent(s, tNous, tEux, 700))
            continue;
        echos.push_back(std::move(s));
    }
    if (echos.empty())
        return Verdict::inchange();

    const QStringList bruts = jetonsBruts(texte);
    std::vector<bool> retire(bruts.size(), false);
    for (const Paires& s : echos)
        for (int k = nous[s.front().first].origine; k <= nous[s.back().first].origine; ++k)
            retire[k] = true;
    QStringList gardes;
    for (int k = 0; k < bruts.size(); ++k)
        if (!retire[k])
            gardes.append(bruts[k]);
    QString nouveau = gardes.join(QLatin1Char(' ')).trimmed();
    while (!nouveau.isEmpty() && estPonctuationDeTete(nouveau.front()))
        nouveau = nouveau.mid(1).trimmed();
    if (!nouveau.isEmpty()) {
        const char32_t premier = nouveau.toUcs4().front();
        if (QChar::isLower(premier)) {
            const char32_t maj = QChar::toUpper(premier);
            const int largeur = QChar::requiresSurrogates(premier) ? 2 : 1;
            nouveau = QString::fromUcs4(&maj, 1) + nouveau.mid(largeur);
        }
    }

    const auto motsRestants = tokeniser(nouveau);
    if (std::count_if(motsRestants.begin(), motsRestants.end(), [](const Mot& m) { return m.plein; }) < 2)
        return Verdict::retirer();
    int premier = -1, dernier = -1;
    for (int i = 0; i < int(nous.size()); ++i) {
        if (retire[nous[i].origine])
            continue;
        if (premier < 0)
            premier = i;
        dernier = i;
    }
    if (premier < 0)
        return Verdict::retirer();
    const double d = double(fin - debutMs) / double(nous.size());
    Verdict v;
    v.genre = Verdict::Genre::rogner;
    v.texte = nouveau;
    v.debutMs = debutMs + std::llround(d * premier);
    v.finMs = debutMs + std::llround(d * (dernier + 1));
    return v;
}

} // namespace vd::call
