#pragma once

#include "vuejson.h"

namespace vd::model {

// How the store reads its file: the big record lists are parsed one record at a time,
// so the parser never holds the whole store's nodes at once.
inline OptionsDocJson optionsLectureEtat()
{
    OptionsDocJson options;
    options.tableauxDifferes = {QByteArrayLiteral("contacts"), QByteArrayLiteral("interactions"), QByteArrayLiteral("appels")};
    return options;
}

} // namespace vd::model
