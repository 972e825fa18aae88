#pragma once
// Entries dragged out of a site tree view: the MIME type and its payload, shared by the tree views
// (which start the drag) and the drop panel's ignore lists (which accept it).
#include "site/Detail.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QString>

#include <vector>

inline const QString kEntryMimeType = QStringLiteral("application/x-fernhop-entries");

struct EntryDrag {
    int tag = 0; // the source tree: 1 local, 2 remote
    std::vector<TDetail> entries; // kind, directory and name filled; the rest left at defaults
};

inline QMimeData *EncodeEntryDrag(const EntryDrag &drag)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << qint32(drag.tag) << quint32(drag.entries.size());
    for (const TDetail &e : drag.entries)
        out << quint8(e.kind) << QString::fromStdString(e.directory) << QString::fromStdString(e.name);
    auto *mime = new QMimeData;
    mime->setData(kEntryMimeType, bytes);
    // Plain text for other programs: one path a line.
    QString text;
    for (const TDetail &e : drag.entries)
        text += QString::fromStdString(e.Path()) + QLatin1Char('\n');
    mime->setText(text);
    return mime;
}

// False when the data is not a tree entry drag (or is damaged): the drop must then be refused.
inline bool DecodeEntryDrag(const QMimeData *mime, EntryDrag &drag)
{
    if (!mime || !mime->hasFormat(kEntryMimeType))
        return false;
    QByteArray bytes = mime->data(kEntryMimeType);
    QDataStream in(bytes);
    qint32 tag = 0;
    quint32 count = 0;
    in >> tag >> count;
    if (in.status() != QDataStream::Ok || (tag != 1 && tag != 2))
        return false;
    drag = EntryDrag{};
    drag.tag = tag;
    for (quint32 i = 0; i < count; ++i) {
        quint8 kind = 0;
        QString directory, name;
        in >> kind >> directory >> name;
        if (in.status() != QDataStream::Ok || kind > ekFile)
            return false;
        TDetail e;
        e.kind = TEntryKind(kind);
        e.directory = directory.toStdString();
        e.name = name.toStdString();
        drag.entries.push_back(std::move(e));
    }
    return !drag.entries.empty();
}
