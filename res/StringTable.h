#pragma once

#include <QString>

#include <initializer_list>

/// The program's string table: every user-visible text, looked up by its number.
/// Thread-safe; the table is parsed once from the compiled-in resource on first use.
class StringTable {
public:
    /// The text of string `id`, or an empty string when the table has no such number.
    static QString text(int id);
    /// The text of string `id` with each "%s" replaced by the next of `values` (a value's own
    /// "%s" stays as it is; marks beyond the values stay too).
    static QString text(int id, std::initializer_list<QString> values);
    /// True when the table holds string `id`.
    static bool contains(int id);
    /// The product name, string 233, the caption of every message box unless stated otherwise.
    static QString caption() { return text(233); }
};
