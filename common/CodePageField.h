// The optional charset=NAME field of both drivers' connection texts: the code page of STRING,
// CHAR and S7-200 strings, any name Qt's codecs know (gbk, windows-1252, iso-8859-1, utf-8, ...).
// It is taken out of the text before the rest is read as before.
#ifndef CODEPAGEFIELD_H
#define CODEPAGEFIELD_H

#include <QString>

class QTextCodec;

namespace CodePageField {

struct Taken {
    QString rest;                           // the connection text without the field
    const QTextCodec *codePage = nullptr;   // null when the text names none
    bool refused = false;                   // a name no codec knows: the connection is refused
    QString name;                           // the name as written
};

Taken take(const QString &connectionText);

} // namespace CodePageField

#endif // CODEPAGEFIELD_H
