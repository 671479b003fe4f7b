#pragma once
// Window translation: texts and fonts of a window and its components in the current language.
#include <QByteArray>
#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

namespace zadari {

/// Applies the current language to `window`. The section is "Form_" + `suffix`, or "Form_" +
/// the window's object name when the suffix is empty. The title comes from "Caption"; every
/// named component (object name, in creation order) is treated by its kind:
///   QStatusBar, QToolBar, plain QFrame                  font only
///   QLabel                                               font; <Name>.Caption -> text
///   QLabel showing a picture                             <Name>.Hint -> tool tip
///   QCheckBox                                            font; <Name>.Caption
///   QPushButton, QRadioButton, other buttons             font; <Name>.Caption, <Name>.Hint
///   QToolButton on a QToolBar                            <Name>.Caption, <Name>.Hint
///   other QToolButton (speed button)                     font; <Name>.Caption, <Name>.Hint
///   QAction, QMenu                                       <Name>.Caption -> text / title
///   page of a QTabWidget                                 font; <Name>.Caption -> tab text
///   QGroupBox                                            font; <Name>.Caption -> title
///   QButtonGroup (radio group)                           font; <Name>.Items<i>.Caption
///   QListWidget, QComboBox                               font; <Name>.Items<i>.Caption
///   QTreeView / flat QTreeWidget (list view), QTableView font; <Name>.Columns<i>.Caption
///   QTreeWidget with a decorated root (tree view)        font; <Name>.Items<i>.Text, all nodes
/// File-dialog filters are kept as dynamic properties "<Dialog>.Filter" of the window that owns
/// the dialog (see FileDialogFilterProperty). A missing key leaves its text as it was (after
/// expanding its escapes). Fonts are applied even when the section is missing.
void TranslateForm(QWidget* window, const QString& suffix = QString());

/// Sets a font's family and size for a language: "宋体" (cn), "PMingLiU" (b5), else "Tahoma";
/// for cn, b5 and jp 8 points become 9, for the others 9 points become 8.
void ApplyLanguageFont(const QString& code, QFont& font);

/// The dynamic property of a window that holds the filter of its file dialog `dialogName`
/// ("OpenDialog1" -> "OpenDialog1.Filter"); its value is the filter in the language files'
/// form, description and pattern pairs joined by "|" ("Firmware(*.bin)|*.bin").
QByteArray FileDialogFilterProperty(const QString& dialogName);

/// A "|"-joined filter as QFileDialog name filters: "Firmware(*.bin)|*.bin" ->
/// {"Firmware(*.bin)"} (the pattern is already shown), "Text|*.txt;*.log" ->
/// {"Text (*.txt *.log)"}. A description without a pattern is dropped.
QStringList FileDialogNameFilters(const QString& filter);

} // namespace zadari
