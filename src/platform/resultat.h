#pragma once
// Value or error, for every function that can fail. A failure can never read as a success.
#include <utility>
#include <variant>

namespace vd {

template<typename E>
struct Echec {
    E erreur;
};
template<typename E>
Echec<std::decay_t<E>> echec(E&& e)
{
    return {std::forward<E>(e)};
}

template<typename T, typename E>
class [[nodiscard]] Resultat {
public:
    Resultat(T valeur) : v_(std::in_place_index<0>, std::move(valeur)) {}
    template<typename F>
    Resultat(Echec<F> e) : v_(std::in_place_index<1>, E(std::move(e.erreur))) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& valeur() const { return std::get<0>(v_); }
    T& valeur() { return std::get<0>(v_); }
    T valeurOu(T defaut) const { return ok() ? valeur() : std::move(defaut); }
    const E& erreur() const { return std::get<1>(v_); }

private:
    std::variant<T, E> v_;
};

struct Rien {
    bool operator==(const Rien&) const = default;
};

template<typename E>
using ResultatVide = Resultat<Rien, E>;

} // namespace vd
