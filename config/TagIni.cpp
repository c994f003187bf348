#include "config/TagIni.h"

#include "config/ErrorReport.h"
#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/win/HostError.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

#include <cmath>

using ErrorReport::CurrentProc;
using ErrorReport::HandleError;
using ErrorReport::RecoveryAction;
using ModCommon::SplitLR;

namespace TagIni {
namespace {

constexpr int kInvalidPropertyValue = 380;

// Runs a loader's step under the shared error reporter: Retry runs it
// again, Skip and Leave give up on it, anything else goes to the window.
template <class Step> void Guarded(const char* procedure, Step step) {
    CurrentProc = QString::fromLatin1(procedure);
    for (;;) {
        try {
            step();
            return;
        } catch (const platform::RuntimeError& e) {
            switch (HandleError(e.number())) {
            case RecoveryAction::Retry: continue;
            case RecoveryAction::Skip:
            case RecoveryAction::Leave: return;
            case RecoveryAction::Propagate: throw;
            }
        }
    }
}

QString Read(const TagParts& t) {
    return WPINI::ReadIni(t.IniFile, t.Section, t.Key, t.Default);
}

QString NumberedKey(const TagParts& t, int n) {
    return t.KeyPrefix + ModCommon::PadLeft(QString::number(n), std::int16_t(t.Width), u"0"_qs);
}

// Entries the width can number: PadLeft keeps the last digits, so beyond
// this the keys would repeat and overwrite earlier entries.
int Numberable(int width) {
    return width >= 5 ? 32767 : int(std::pow(10, width)) - 1;
}

} // namespace

QString Tag(const QWidget* control) {
    return control ? control->property("tag").toString() : QString();
}

QString ControlKind(const QWidget* control) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->completer() ? QStringLiteral("AUTOCOMPLETE") : QStringLiteral("TEXTBOX");
    if (qobject_cast<const QLabel*>(control))
        return QStringLiteral("LABEL");
    if (qobject_cast<const QComboBox*>(control))
        return QStringLiteral("COMBOBOX");
    if (qobject_cast<const QCheckBox*>(control))
        return QStringLiteral("CHECKBOX");
    if (qobject_cast<const QRadioButton*>(control))
        return QStringLiteral("OPTIONBUTTON");
    if (qobject_cast<const QListWidget*>(control))
        return QStringLiteral("LISTBOX");
    return {};
}

bool ErrTagLegit(const QWidget* control) {
    CurrentProc = QStringLiteral("ErrTagLegit");
    const QString tag = Tag(control);
    return tag.contains(u'[') && tag.contains(u']') && tag.contains(u'<') && tag.contains(u'>') &&
           tag.toUpper().contains(QStringLiteral("INI"));
}

QString GetDataDir(const QString& suiteIniPath) {
    return WPINI::ReadIni(suiteIniPath, QStringLiteral("DIRECTORIES"), QStringLiteral("DATADIR"),
                          {});
}
QString GetAppDir(const QString& suiteIniPath) {
    return WPINI::ReadIni(suiteIniPath, QStringLiteral("DIRECTORIES"), QStringLiteral("APPDIR"),
                          {});
}
QString GetUserDir(const QString& suiteIniPath) {
    return WPINI::ReadIni(suiteIniPath, QStringLiteral("DIRECTORIES"), QStringLiteral("USERDIR"),
                          {});
}

QString ExpandTagMacro(const QString& fileText, const QString& suiteIniPath) {
    if (!fileText.contains(u'>'))
        return fileText;
    const QString name = SplitLR(fileText, QStringLiteral("R"), QStringLiteral(">"));
    const QString upper = fileText.toUpper();
    if (upper.contains(QStringLiteral("<WINDIR>")))
        return WPINI::LocateSuiteIni(name);
    QString dir;
    if (upper.contains(QStringLiteral("<DATADIR>")))
        dir = GetDataDir(suiteIniPath);
    else if (upper.contains(QStringLiteral("<APPDIR>")))
        dir = GetAppDir(suiteIniPath);
    else if (upper.contains(QStringLiteral("<USERDIR>")))
        dir = GetUserDir(suiteIniPath);
    else
        return {};
    return ModCommon::CkRSlash(dir) + name;
}

TagParts ParseTag(const QString& tag, const QString& suiteIniPath, bool forSave) {
    const QString L = QStringLiteral("L"), R = QStringLiteral("R");
    TagParts t;
    t.IniFile = ExpandTagMacro(SplitLR(tag, L, QStringLiteral("[")), suiteIniPath);
    const QString rest = SplitLR(tag, R, QStringLiteral("["));
    t.Section = SplitLR(rest, L, QStringLiteral("]"));
    const QString rest2 = SplitLR(rest, R, QStringLiteral("]"));
    t.Key = SplitLR(rest2, L, QStringLiteral("|"));
    t.Default = SplitLR(rest2, R, QStringLiteral("|"));
    t.HasBar = rest2.contains(u'|');
    t.KeyPrefix = SplitLR(rest2, L, QStringLiteral("#"));
    t.Width = ModCommon::CountChar(forSave ? tag : rest2, QStringLiteral("#"));
    return t;
}

bool ValueIsSet(const QString& s) {
    return ModCommon::Trim(s) != u"0";
}

QString BoolToStr(bool b) {
    return b ? QStringLiteral("1") : QStringLiteral("0");
}

int CheckBoxNumber(const QString& value) {
    // As the run-time reads a number: blanks anywhere are skipped, then a
    // sign, digits and one decimal point; whatever follows ends it.
    QString s = value;
    s.remove(u' ').remove(u'\t');
    qsizetype end = 0;
    if (end < s.size() && (s[end] == u'+' || s[end] == u'-'))
        ++end;
    bool point = false;
    while (end < s.size() && (s[end].isDigit() || (s[end] == u'.' && !point))) {
        point |= s[end] == u'.';
        ++end;
    }
    bool ok = false;
    const double number = s.left(end).toDouble(&ok);
    if (!ok)
        return 0;
    const double rounded = std::nearbyint(number); // the default mode: halves to even
    if (rounded < -32768 || rounded > 32767)
        throw platform::RuntimeError(platform::Overflow);
    return int(rounded);
}

void ErrTagReadTag(QWidget* control, const QString& suiteIniPath) {
    Guarded("ErrTagReadTag", [&] {
        const TagParts t = ParseTag(Tag(control), suiteIniPath);
        if (!t.HasBar)
            return; // names no key: left as it is
        const QString value = Read(t);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->setText(value);
        else if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(value);
        else if (auto* combo = qobject_cast<QComboBox*>(control))
            combo->setCurrentText(value);
        else
            platform::MsgBox(QStringLiteral("invalid tag type of object sent"));
    });
}

void ErrTagReadOptionTag(QWidget* control, const QString& suiteIniPath) {
    Guarded("ErrTagReadOptionTag", [&] {
        const TagParts t = ParseTag(Tag(control), suiteIniPath);
        auto* option = qobject_cast<QRadioButton*>(control);
        if (!option || !t.HasBar)
            return;
        if (ValueIsSet(Read(t))) {
            option->setChecked(true);
            return;
        }
        // An exclusive group will not let its checked button go; "0" must.
        QButtonGroup* group = option->group();
        const bool groupExclusive = group && group->exclusive();
        const bool autoExclusive = option->autoExclusive();
        if (group)
            group->setExclusive(false);
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(autoExclusive);
        if (group)
            group->setExclusive(groupExclusive);
    });
}

void ErrTagReadBkBoxTag(QWidget* control, const QString& suiteIniPath) {
    Guarded("ErrTagReadBkBoxTag", [&] {
        const TagParts t = ParseTag(Tag(control), suiteIniPath);
        auto* box = qobject_cast<QCheckBox*>(control);
        if (!box || !t.HasBar)
            return;
        const int n = CheckBoxNumber(Read(t));
        if (n < 0 || n > 2)
            throw platform::RuntimeError(kInvalidPropertyValue);
        box->setCheckState(n == 2 ? Qt::PartiallyChecked : n == 1 ? Qt::Checked : Qt::Unchecked);
    });
}

void TagLstreadIni(QWidget* control, const QString& suiteIniPath) {
    Guarded("TagLstreadIni", [&] {
        const TagParts t = ParseTag(Tag(control), suiteIniPath);
        auto* list = qobject_cast<QListWidget*>(control);
        auto* combo = qobject_cast<QComboBox*>(control);
        if (list)
            list->clear();
        if (combo)
            combo->clear();
        if (t.Width == 0)
            return; // every entry would share one key
        for (int n = 1; n <= Numberable(t.Width); ++n) {
            const QString value =
                ModCommon::Trim(WPINI::ReadIni(t.IniFile, t.Section, NumberedKey(t, n), {}));
            if (value.isEmpty())
                break;
            if (list)
                list->addItem(value);
            if (combo)
                combo->addItem(value);
        }
    });
}

void TagWriteValue(QWidget* control, const QString& suiteIniPath) {
    const TagParts t = ParseTag(Tag(control), suiteIniPath);
    if (!t.HasBar)
        return;
    bool value = false;
    if (auto* option = qobject_cast<QRadioButton*>(control))
        value = option->isChecked();
    else if (auto* box = qobject_cast<QCheckBox*>(control))
        value = box->checkState() != Qt::Unchecked;
    WPINI::WriteIni(t.IniFile, t.Section, t.Key, BoolToStr(value));
}

void ClearTagSection(const TagParts& parts) {
    WPINI::DeleteIniSection(parts.IniFile, parts.Section);
}

void TagLstWriteIni(QWidget* control, const QString& suiteIniPath) {
    const TagParts t = ParseTag(Tag(control), suiteIniPath, true);
    if (t.Width == 0)
        return;
    QStringList entries;
    if (auto* list = qobject_cast<QListWidget*>(control))
        for (int i = 0; i < list->count(); ++i)
            entries << list->item(i)->text();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        for (int i = 0; i < combo->count(); ++i)
            entries << combo->itemText(i);
    ClearTagSection(t);
    for (int n = 1; n <= std::min<int>(entries.size(), Numberable(t.Width)); ++n)
        WPINI::WriteIni(t.IniFile, t.Section, NumberedKey(t, n), entries[n - 1]);
}

void LoadTaggedControls(QWidget* window, const QString& suiteIniPath) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QString kind = ModCommon::TrimUCase(ControlKind(control));
        if (kind.isEmpty() || !ErrTagLegit(control))
            continue;
        if (kind == u"TEXTBOX" || kind == u"AUTOCOMPLETE" || kind == u"LABEL")
            ErrTagReadTag(control, suiteIniPath);
        else if (kind == u"OPTIONBUTTON")
            ErrTagReadOptionTag(control, suiteIniPath);
        else if (kind == u"COMBOBOX" || kind == u"LISTBOX")
            TagLstreadIni(control, suiteIniPath);
        else if (kind == u"CHECKBOX")
            ErrTagReadBkBoxTag(control, suiteIniPath);
    }
}

void SaveTaggedControls(QWidget* window, const QString& suiteIniPath) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!ErrTagLegit(control))
            continue;
        const QString kind = ControlKind(control);
        if (kind == u"OPTIONBUTTON" || kind == u"CHECKBOX")
            TagWriteValue(control, suiteIniPath);
        else if (kind == u"LISTBOX" || kind == u"COMBOBOX")
            TagLstWriteIni(control, suiteIniPath);
    }
}

} // namespace TagIni
