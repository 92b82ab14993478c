// The dressed buttons of the pages: push buttons with an image at the left of
// their text and a tooltip, the Help menu button and the link buttons of the
// about box. User-interface thread only.
#pragma once

#include <QPushButton>
#include <QString>

class QMenu;

namespace win {

// Sets the tooltip and the PNG resource image (shown left of the text).
void DressButton(QAbstractButton* button, int nPngId, const QString& tooltip);

// A push button that drops down a menu built from a menu resource. When the
// user picks an item the button records its command id (m_nMenuResult) and
// emits commandChosen; a dismissed menu records 0 and emits nothing.
class CMenuButton : public QPushButton {
  Q_OBJECT
public:
  explicit CMenuButton(const QString& text, QWidget* parent = nullptr);
  // Loads the first pop-up of menu resource nMenuId; false when it is missing.
  bool LoadMenu(int nMenuId);
  int m_nMenuResult = 0;
  QMenu* PopupMenu() const { return m_pMenu; }  // owned by the button (Qt parent)

signals:
  void commandChosen(int nCommandId);

private:
  QMenu* m_pMenu = nullptr;  // child of this button
};

// A flat button that shows its text as a link and, when clicked, opens
// prefix + URL with the shell ("mailto:" for mail addresses).
class CLinkButton : public QPushButton {
  Q_OBJECT
public:
  explicit CLinkButton(QWidget* parent = nullptr);
  void SetURLPrefix(const QString& prefix) { m_strPrefix = prefix; }
  void SetURL(const QString& url) { m_strUrl = url; }
  QString Target() const { return m_strPrefix + m_strUrl; }
  void SizeToContent();

private:
  QString m_strPrefix;
  QString m_strUrl;
};

}  // namespace win
