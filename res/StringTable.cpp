#include "res/StringTable.h"

#include <QFile>
#include <QHash>

// Outside any namespace: the resource initialiser is declared at file scope.
static void initStringResource()
{
    Q_INIT_RESOURCE(parlune_strings);
}

namespace {

// Lines are "number<TAB>text"; the text may hold \n, \r, \t and \\ escapes.
QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        switch (next.unicode()) {
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        default:
            out += next;
            break;
        }
    }
    return out;
}

QHash<int, QString> parseTable()
{
    initStringResource();
    QHash<int, QString> table;
    QFile file(QStringLiteral(":/strings.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QString all = QString::fromUtf8(file.readAll());
    for (QStringView line : QStringView(all).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const qsizetype tab = line.indexOf(u'\t');
        if (line.isEmpty() || line.startsWith(u'#') || tab <= 0)
            continue;
        bool ok = false;
        const int id = line.left(tab).toInt(&ok);
        if (ok)
            table.insert(id, unescape(line.mid(tab + 1)));
    }
    return table;
}

const QHash<int, QString>& table()
{
    static const QHash<int, QString> strings = parseTable();
    return strings;
}

} // namespace

QString StringTable::text(int id)
{
    return table().value(id);
}

bool StringTable::contains(int id)
{
    return table().contains(id);
}

QString StringTable::text(int id, std::initializer_list<QString> values)
{
    const QString format = text(id);
    QString out;
    auto next = values.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
            next != values.end()) {
            out += *next++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}
