// Draws one item of CXHtmlTree: its check box from the tree's strip, its
// image and its label (bold for bold items), and records where the label
// ends so the tree knows when a label is cut off. User-interface thread.
#pragma once

#include <QStyledItemDelegate>

class CXHtmlTree;

class XHtmlTreeDelegate : public QStyledItemDelegate {
  Q_OBJECT

public:
  explicit XHtmlTreeDelegate(CXHtmlTree* tree);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  CXHtmlTree* m_pTree;  // non-owning: the tree owns this delegate
};
