#pragma once

#include "store/Id3Tag.h"
#include "tests/support/AudioFixtures.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// What a recording file holds, read back the way the program reads it.

/// The text of frame `id` in the tag of `path`: "<no tag>" when no tag can be read,
/// "<no frame>" when the tag has no such frame.
inline QString tagText(const QString& path, QByteArrayView id)
{
    Id3Tag tag;
    if (!tag.Open(path, true) || tag.ReadTag() != Id3Tag::TagRead)
        return QStringLiteral("<no tag>");
    const Id3Tag::Frame* frame = tag.FindFrame(id);
    return frame ? frame->value : QStringLiteral("<no frame>");
}

/// The bytes of `path` behind its tag; empty when the file has no readable tag.
inline QByteArray afterTag(const QString& path)
{
    Id3Tag tag;
    if (!tag.Open(path, true) || tag.ReadHeader() != Id3Tag::TagRead)
        return {};
    return AudioFixtures::readFile(path).mid(tag.TagSize());
}
