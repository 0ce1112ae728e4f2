#pragma once
// What a call raises, read in one line: a test compares it with the number and text it expects.
#include "platform/ErrObject.h"

#include <QString>

namespace testenv {

// "number: description" of the error the call raises; empty when it raises none.
template <typename Call> QString Raised(Call&& call)
{
    try {
        call();
        return {};
    } catch (const vb::ErrObject& e) {
        return QStringLiteral("%1: %2").arg(e.Number()).arg(e.Description());
    }
}

} // namespace testenv
