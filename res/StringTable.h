#pragma once

#include <QString>

/// The program's string table: every user-visible text, looked up by its number.
/// Thread-safe; the table is parsed once from the compiled-in resource on first use.
class StringTable {
public:
    /// The text of string `id`, or an empty string when the table has no such number.
    static QString text(int id);
    /// True when the table holds string `id`.
    static bool contains(int id);
    /// The product name, string 233, the caption of every message box unless stated otherwise.
    static QString caption() { return text(233); }
};
