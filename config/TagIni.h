#pragma once
// TagIni is the old program's name for this unit (see docs/layout.md, Glossary).
//
// Controls bound to INI keys by the tag they carry (the dynamic property
// "tag" in the forms): "<WINDIR>QUARN2.INI[LOCAL]QXADATADIR|" names a file
// through a path macro, a section, a key and a default; a list's tag ends in
// a key prefix and "#" characters instead. The forms own the bindings; no
// code names those keys.
//
// SuiteIniPath is the located QUARN2.INI, where the macros <DATADIR>,
// <APPDIR> and <USERDIR> are looked up.

#include <QString>

class QWidget;

namespace TagIni {

struct TagParts {
    QString IniFile, Section, Key, Default, KeyPrefix;
    int Width = 0;
    bool HasBar = false; // a value tag names its key only with "|"
};

QString Tag(const QWidget* control);
// "TEXTBOX", "AUTOCOMPLETE", "LABEL", "COMBOBOX", "CHECKBOX", "OPTIONBUTTON",
// "LISTBOX", or "" for a control that takes no part.
QString ControlKind(const QWidget* control);

bool ErrTagLegit(const QWidget* control);
QString ExpandTagMacro(const QString& fileText, const QString& suiteIniPath);
// `forSave`: the width counts every "#" of the tag rather than those after "]".
TagParts ParseTag(const QString& tag, const QString& suiteIniPath, bool forSave = false);

QString GetDataDir(const QString& suiteIniPath);
QString GetAppDir(const QString& suiteIniPath);
QString GetUserDir(const QString& suiteIniPath);

bool ValueIsSet(const QString& s);
QString BoolToStr(bool b);

void ErrTagReadTag(QWidget* control, const QString& suiteIniPath);
void ErrTagReadOptionTag(QWidget* control, const QString& suiteIniPath);
void ErrTagReadBkBoxTag(QWidget* control, const QString& suiteIniPath);
void TagLstreadIni(QWidget* control, const QString& suiteIniPath);
void TagWriteValue(QWidget* control, const QString& suiteIniPath);
void TagLstWriteIni(QWidget* control, const QString& suiteIniPath);
void ClearTagSection(const TagParts& parts);

// Every control of the window, in the form's creation order.
void LoadTaggedControls(QWidget* window, const QString& suiteIniPath);
void SaveTaggedControls(QWidget* window, const QString& suiteIniPath);

// The check box's number: the leading number of the text (blanks skipped,
// none gives 0), rounded half to even. Raises error 6 outside 16 bits.
int CheckBoxNumber(const QString& value);

} // namespace TagIni
