#pragma once

#include "app/Settings.h"

#include <QString>

#include <optional>
#include <variant>
#include <vector>

/// Every value of the settings file in one place: its name, how its text becomes a field of
/// Settings, what is taken when it is missing, what the first start writes, whether a new user
/// copies it from the machine-wide settings and what the start-up dump logs of it.
class SettingsTable {
public:
    struct Value {
        /// How the text reads: as it is; as C's atoi; on when it begins with "1"; on only
        /// when the whole text is "1"; as atoi, or nothing when missing.
        enum class Kind { Text, Number, Flag, Switch, StoredNumber };
        /// The folder a Text's missing and created texts are appended to.
        enum class Base { None, ProgramFolder, FallbackFolder };
        /// What the start-up dump logs after the label: no line, the field, the text as read
        /// (the missing text when it was missing), the text only when it was read.
        enum class Dump { None, Field, TextRead, OnlyWhenRead };
        using Field = std::variant<QString Settings::*, int Settings::*, bool Settings::*,
                                   std::optional<int> Settings::*>;

        QString name;
        Kind kind;
        Field field;
        int buffer;                     ///< bytes a read may take; a longer text reads as missing
        std::optional<QString> missing; ///< the text a missing value reads as
        std::optional<QString> created; ///< written when the key is created
        int creationStep;               ///< its place among the created values (1 first)
        Base base;
        bool copied; ///< copied from the machine-wide settings to a new user
        QString dumpLabel;
        Dump dump;
    };

    /// Every value, in the order the start-up reads and logs them (which is also the order in
    /// which a new user's copy takes them).
    static const std::vector<Value>& values();
    /// The value named `name` (any case); null when there is none.
    static const Value* find(const QString& name);

    /// A number as C's atoi reads it: leading blanks, a sign, digits; 0 without digits.
    /// Values beyond the int range are clamped instead of overflowing.
    static int toNumber(const QString& text);
    /// A flag is on when its text begins with "1".
    static bool toFlag(const QString& text) { return text.startsWith(u'1'); }
};
