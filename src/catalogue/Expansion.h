#pragma once

#include <QString>

// One card set of a game; Id 0 for a set loaded from a file.
class TExpansion
{
public:
    TExpansion() = default;
    TExpansion(const TExpansion &Source) = default;
    TExpansion &operator=(const TExpansion &Source) = default;

    int Id = 0;
    QString Name;
    // Lower-cased, the set's folder in the scan store.
    QString Code;
};
