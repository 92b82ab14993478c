// Drawing, hit testing and tooltips of CXHtmlTree.
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QToolTip>
#include <vector>

#include "ui/tree/XHtmlTree.h"
#include "ui/tree/XHtmlTreeDelegate.h"

using namespace xht;

namespace {

constexpr int kLabelGap = 3;      // between the image (or box) and the label
constexpr int kLabelPadding = 2;  // inside the label's background, each side

QFont LabelFont(QFont font, bool bBold) {
  font.setWeight(bBold ? QFont::Bold : QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

// The look of one strip cell: 0 none, else unchecked / checked / mixed.
struct CellLook {
  int nKind = 0;  // 0 empty, 1 unchecked, 2 checked, 3 mixed
  bool bDisabled = false;
  bool bHot = false;
};

CellLook LookOfCell(int cell) {
  CellLook look;
  look.nKind = cell % 4;
  look.bDisabled = (cell / 4) % 2 == 1;
  look.bHot = cell >= 8 && cell < 12;
  return look;
}

// The plain flat check box of a style that has no look of its own: a thin
// frame, a white (or greyed) square and a tick; a mixed box shows a grey
// tick on a grey square, like the classic three-state button.
void DrawFlatCheckBox(QPainter& p, const QRect& r, const CellLook& look, const QPalette& pal) {
  const QColor frame = pal.color(QPalette::Active, QPalette::Dark);
  QColor fill = pal.color(QPalette::Active, QPalette::Base);
  QColor mark = pal.color(QPalette::Active, QPalette::Text);
  if (look.nKind == 3) {
    fill = pal.color(QPalette::Active, QPalette::Button);
    mark = pal.color(QPalette::Active, QPalette::Dark);
  }
  if (look.bDisabled) {
    fill = pal.color(QPalette::Active, QPalette::Button);
    mark = pal.color(QPalette::Disabled, QPalette::Text);
  }
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(r, fill);
  p.setPen(frame);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  if (look.nKind >= 2) {
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(mark, 2.0);
    pen.setCapStyle(Qt::SquareCap);
    p.setPen(pen);
    const QRectF m = QRectF(r).adjusted(3, 3, -3, -3);
    QPainterPath tick;
    tick.moveTo(m.left(), m.center().y());
    tick.lineTo(m.left() + m.width() * 0.4, m.bottom() - 1);
    tick.lineTo(m.right(), m.top() + 1);
    p.drawPath(tick);
  }
  p.restore();
}

void DrawStyledCheckBox(QPainter& p, const QRect& r, const CellLook& look, const QWidget* widget) {
  QStyleOptionButton opt;
  opt.initFrom(widget);
  opt.rect = r;
  opt.state = QStyle::State_None;
  if (!look.bDisabled) opt.state |= QStyle::State_Enabled;
  if (look.bHot) opt.state |= QStyle::State_MouseOver;
  opt.state |= look.nKind == 1 ? QStyle::State_Off : look.nKind == 2 ? QStyle::State_On : QStyle::State_NoChange;
  opt.palette.setCurrentColorGroup(look.bDisabled ? QPalette::Disabled : QPalette::Active);
  widget->style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, widget);
}

// Whether the style draws anything for a check box: one that draws nothing
// leaves the control with invisible boxes, so the flat look takes over.
bool StyleDrawsCheckBoxes(const QWidget* widget, int size) {
  QImage probe(size, size, QImage::Format_ARGB32_Premultiplied);
  probe.fill(Qt::transparent);
  {
    QPainter p(&probe);
    DrawStyledCheckBox(p, QRect(1, 1, size - 2, size - 2), LookOfCell(2), widget);
  }
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (qAlpha(probe.pixel(x, y)) != 0) return true;
  return false;
}

}  // namespace

// ---- check-box strip --------------------------------------------------------

void CXHtmlTree::BuildCheckBoxStrip() {
  const int size = m_model.Options().nCheckBoxSize;
  QPixmap strip(kCheckBoxCells * size, size);
  strip.fill(BackgroundColor());
  m_bStripThemed = m_bVisualStyles && StyleDrawsCheckBoxes(this, size);
  QPainter p(&strip);
  for (int cell = 0; cell < kCheckBoxCells; ++cell) {
    const CellLook look = LookOfCell(cell);
    if (look.nKind == 0) continue;
    const QRect r(QPoint(1 + cell * size, 1), QPoint(size - 2 + cell * size, size - 2));
    if (m_bStripThemed)
      DrawStyledCheckBox(p, r, look, this);
    else
      DrawFlatCheckBox(p, r, look, palette());
  }
  m_checkBoxStrip = strip;
}

// ---- layout and hit testing ---------------------------------------------------

int CXHtmlTree::RowHeight() const {
  return std::max(m_model.Options().nCheckBoxSize + 2, fontMetrics().height() + 4);
}

CXHtmlTree::ItemLayout CXHtmlTree::LayoutOf(const QRect& cell) const {
  ItemLayout layout;
  int x = cell.left();
  const int size = m_model.Options().nCheckBoxSize;
  if (m_model.Options().bCheckBoxes) {
    layout.stateRect = QRect(x, cell.top() + (cell.height() - size) / 2, size, size);
    x += size;
  }
  if (HasImageList()) {
    const int cx = m_vecImages.front().width();
    layout.iconRect = QRect(x + 1, cell.top() + (cell.height() - cx) / 2, cx, cx);
    x += cx + 1;
  }
  layout.nLabelLeft = x + kLabelGap;
  return layout;
}

QRect CXHtmlTree::GetItemRect(HTREEITEM item) const {
  QTreeWidgetItem* qi = ItemOf(item);
  return qi ? visualItemRect(qi) : QRect();
}

QRect CXHtmlTree::StateIconRect(HTREEITEM item) const {
  const QRect cell = GetItemRect(item);
  return cell.isEmpty() ? QRect() : LayoutOf(cell).stateRect;
}

QRect CXHtmlTree::LabelRect(HTREEITEM item) const {
  const QRect cell = GetItemRect(item);
  if (cell.isEmpty()) return QRect();
  const QFont font = LabelFont(this->font(), GetItemState(item, TVIS_BOLD) != 0);
  const int width = QFontMetrics(font).horizontalAdvance(GetItemText(item)) + 2 * kLabelPadding;
  return QRect(LayoutOf(cell).nLabelLeft, cell.top(), width, cell.height());
}

CXHtmlTree::HTREEITEM CXHtmlTree::HitTest(const QPoint& pos, unsigned* pFlags) const {
  unsigned flags = TVHT_NOWHERE;
  QTreeWidgetItem* qi = itemAt(pos);
  const HTREEITEM item = HandleOf(qi);
  if (item) {
    const QRect cell = visualItemRect(qi);
    const ItemLayout layout = LayoutOf(cell);
    if (pos.x() < cell.left())
      flags = (qi->childCount() > 0 && pos.x() >= cell.left() - indentation()) ? TVHT_ONITEMBUTTON
                                                                               : TVHT_ONITEMINDENT;
    else if (layout.stateRect.contains(pos))
      flags = TVHT_ONITEMSTATEICON;
    else if (layout.iconRect.contains(pos))
      flags = TVHT_ONITEMICON;
    else if (LabelRect(item).contains(pos))
      flags = TVHT_ONITEMLABEL;
    else
      flags = TVHT_ONITEMRIGHT;
  }
  if (pFlags) *pFlags = flags;
  return item;
}

// ---- painting -------------------------------------------------------------------

void CXHtmlTree::paintEvent(QPaintEvent* event) {
  if (m_bRebuildTips) RebuildTips();
  {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), BackgroundColor());
  }
  QTreeWidget::paintEvent(event);
}

void CXHtmlTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  // The whole row in the background colour first; the label's own colours
  // are the delegate's, so the widget's row highlight is neutralised.
  painter->fillRect(QRect(0, option.rect.top(), viewport()->width(), option.rect.height()), BackgroundColor());
  QStyleOptionViewItem opt = option;
  opt.palette.setColor(QPalette::Highlight, BackgroundColor());
  opt.palette.setColor(QPalette::Inactive, QPalette::Highlight, BackgroundColor());
  QTreeWidget::drawRow(painter, opt, index);
}

void CXHtmlTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
  // Dotted lines join each item to its parent and its siblings, root items
  // included, whatever the style draws; the style then adds the buttons.
  const int indent = indentation();
  const int midY = rect.top() + rect.height() / 2;
  std::vector<QModelIndex> chain;  // the item, then its ancestors
  for (QModelIndex i = index; i.isValid(); i = i.parent()) chain.push_back(i);
  const auto hasNextSibling = [](const QModelIndex& i) { return i.sibling(i.row() + 1, 0).isValid(); };
  painter->save();
  painter->setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
  const int depth = static_cast<int>(chain.size()) - 1;
  for (int level = 0; level <= depth; ++level) {
    const QModelIndex& at = chain[static_cast<std::size_t>(depth - level)];
    const int x = rect.left() + level * indent + indent / 2;
    if (level < depth) {
      if (hasNextSibling(at)) painter->drawLine(x, rect.top(), x, rect.bottom());
      continue;
    }
    const bool bAbove = at.row() > 0 || at.parent().isValid();
    painter->drawLine(x, bAbove ? rect.top() : midY, x, hasNextSibling(at) ? rect.bottom() : midY);
    painter->drawLine(x, midY, rect.left() + (level + 1) * indent - 1, midY);
  }
  painter->restore();
  QTreeWidget::drawBranches(painter, rect, index);
}

void CXHtmlTree::resizeEvent(QResizeEvent* event) {
  m_bRebuildTips = true;
  QTreeWidget::resizeEvent(event);
}

void CXHtmlTree::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
    BuildCheckBoxStrip();
    viewport()->update();
  }
  QTreeWidget::changeEvent(event);
}

XHtmlTreeDelegate::XHtmlTreeDelegate(CXHtmlTree* tree) : QStyledItemDelegate(tree), m_pTree(tree) {}

QSize XHtmlTreeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const xht::HTREEITEM item = index.data(Qt::UserRole).toUInt();
  const QFont font = LabelFont(option.font, m_pTree->GetItemState(item, TVIS_BOLD) != 0);
  const int textWidth = QFontMetrics(font).horizontalAdvance(m_pTree->GetItemText(item));
  const CXHtmlTree::ItemLayout layout = m_pTree->LayoutOf(QRect(0, 0, 0, m_pTree->RowHeight()));
  return QSize(layout.nLabelLeft + textWidth + 2 * kLabelPadding + m_pTree->Options().nTextMargin,
               m_pTree->RowHeight());
}

void XHtmlTreeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  CXHtmlTree& tree = *m_pTree;
  const xht::HTREEITEM item = index.data(Qt::UserRole).toUInt();
  const xht::XHTMLTREEDATA* rec = tree.GetItemDataStruct(item);
  const CXHtmlTree::ItemLayout layout = tree.LayoutOf(option.rect);
  painter->save();

  const int cell = tree.GetStateImage(item);
  const int size = tree.Options().nCheckBoxSize;
  if (tree.Options().bCheckBoxes && cell > 0 && cell < kCheckBoxCells)
    painter->drawPixmap(layout.stateRect.topLeft(), tree.CheckBoxStrip(), QRect(cell * size, 0, size, size));

  const bool bCaret = tree.currentItem() && tree.currentItem() == tree.ItemOf(item);
  const bool bSelected = bCaret || (option.state & QStyle::State_Selected);
  const int image = bSelected ? tree.Model().GetItemSelectedImage(item) : tree.GetItemImage(item);
  if (const QPixmap* pm = tree.NormalImage(image)) painter->drawPixmap(layout.iconRect.topLeft(), *pm);

  const QColor background = tree.BackgroundColor();
  QColor textColor = tree.TextColor();
  QColor textBackground = background;
  if (rec && !rec->isEnabled) {
    textColor = tree.palette().color(QPalette::Disabled, QPalette::Text);
  } else if (bSelected) {
    textColor = tree.palette().color(QPalette::Active, QPalette::HighlightedText);
    textBackground = tree.palette().color(QPalette::Active, QPalette::Highlight);
  }
  const QRect rest(layout.nLabelLeft, option.rect.top(), tree.viewport()->width() - layout.nLabelLeft + 1,
                   option.rect.height());
  painter->fillRect(rest, background);

  const QString text = tree.GetItemText(item);
  const QFont font = LabelFont(option.font, tree.GetItemState(item, TVIS_BOLD) != 0);
  const int textWidth = QFontMetrics(font).horizontalAdvance(text);
  const QRect textRect(layout.nLabelLeft, option.rect.top(), textWidth + 2 * kLabelPadding, option.rect.height());
  painter->fillRect(textRect, textBackground);
  painter->setFont(font);
  painter->setPen(textColor);
  // One line, vertically centred; '&' is shown as it is.
  painter->drawText(textRect.adjusted(kLabelPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    text);
  tree.Model().SetTextRight(item, textRect.right() + 1 + tree.Options().nTextMargin);
  painter->restore();
}

// ---- tooltips --------------------------------------------------------------------

int CXHtmlTree::DefaultTipWidth() const {
  if (width() >= 200) return width() * 3 / 4;
  return parentWidget() ? parentWidget()->width() / 2 : width();
}

QString CXHtmlTree::WrapTipText(const QString& text, const QFontMetrics& metrics, int maxWidth) {
  QStringList lines;
  QString line;
  bool first = true;
  for (const QString& word : text.split(QLatin1Char(' '))) {
    const QString candidate = first ? word : line + QLatin1Char(' ') + word;
    if (!first && !line.isEmpty() && metrics.horizontalAdvance(candidate) > maxWidth) {
      lines << line;
      line = word;
    } else {
      line = candidate;
    }
    first = false;
  }
  lines << line;
  return lines.join(QLatin1Char('\n'));
}

void CXHtmlTree::RebuildTips() {
  m_bRebuildTips = false;
  // Tooltips are looked up per row when asked for, so only the parent
  // needs to hear that the areas are new.
  emit WM_XHTMLTREE_INIT_TOOLTIP(Header(0));
}

QString CXHtmlTree::TooltipTextAt(const QPoint& pos) {
  unsigned flags = 0;
  const HTREEITEM item = HitTest(pos, &flags);
  if (!item || !(flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON))) return QString();
  const XHTMLTREEDATA* rec = m_model.GetItemDataStruct(item);
  if (!rec || rec->isSeparator) return QString();
  if (rec->textRight <= viewport()->width() - 3) return QString();  // fully visible
  bool bSuppress = false;
  emit WM_XHTMLTREE_DISPLAY_TOOLTIP(Header(item), &bSuppress);
  if (bSuppress) return QString();
  return GetItemText(item).left(kMaxTipChars);
}

bool CXHtmlTree::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = m_model.Options().bToolTip ? TooltipTextAt(help->pos()) : QString();
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      unsigned flags = 0;
      const HTREEITEM item = HitTest(help->pos(), &flags);
      const QString shown = WrapTipText(text, QFontMetrics(QToolTip::font()), DefaultTipWidth());
      QToolTip::showText(help->globalPos(), shown, viewport(), GetItemRect(item));
    }
    return true;
  }
  return QTreeWidget::viewportEvent(event);
}
