#include "ui/win/DialogTemplate.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>

#include "res/Resources.h"

namespace win {

namespace {

const std::map<QString, ControlKind>& KindNames() {
  static const std::map<QString, ControlKind> names = {
      {"picture", ControlKind::picture},   {"group", ControlKind::group},
      {"static", ControlKind::staticText}, {"edit", ControlKind::edit},
      {"button", ControlKind::button},     {"radio", ControlKind::radio},
      {"check", ControlKind::check},       {"list", ControlKind::list},
      {"tree", ControlKind::tree},         {"progress", ControlKind::progress},
      {"combo", ControlKind::combo},       {"droplist", ControlKind::droplist},
      {"date", ControlKind::date},         {"menubutton", ControlKind::menubutton},
      {"link", ControlKind::link},
  };
  return names;
}

bool ParseRect(const QJsonValue& v, QRect* rect) {
  const QJsonArray a = v.toArray();
  if (a.size() != 4) return false;
  *rect = QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
  return true;
}

bool ParseControl(const QJsonObject& o, ControlTemplate* c, QString* error) {
  c->nId = o.value("id").toInt(-1);
  const auto kind = KindNames().find(o.value("kind").toString());
  if (kind == KindNames().end()) {
    *error = QStringLiteral("control %1: unknown kind \"%2\"").arg(c->nId).arg(o.value("kind").toString());
    return false;
  }
  c->kind = kind->second;
  c->strText = o.value("text").toString();
  if (!ParseRect(o.value("rect"), &c->rectDlu)) {
    *error = QStringLiteral("control %1: rect needs four numbers").arg(c->nId);
    return false;
  }
  for (const QJsonValue& f : o.value("flags").toArray()) c->flags << f.toString();
  c->nImageId = o.value("image").toInt(0);
  c->strTooltip = o.value("tooltip").toString();
  c->nMenuId = o.value("menu").toInt(0);
  return true;
}

struct Tables {
  std::vector<DialogTemplate> dialogs;
  std::vector<MenuTemplate> menus;
};

const Tables& LoadedTables() {
  static const Tables tables = [] {
    InitTarnwickResources();
    Tables t;
    QFile f(QStringLiteral(":/templates/dialogs.json"));
    QString error;
    if (!f.open(QIODevice::ReadOnly) || !ParseTemplates(f.readAll(), &t.dialogs, &t.menus, &error))
      qWarning("dialog templates cannot be read: %s", qPrintable(error));
    return t;
  }();
  return tables;
}

}  // namespace

const ControlTemplate* DialogTemplate::Find(int id) const {
  for (const ControlTemplate& c : controls)
    if (c.nId == id) return &c;
  return nullptr;
}

bool ParseTemplates(const QByteArray& json, std::vector<DialogTemplate>* dialogs,
                    std::vector<MenuTemplate>* menus, QString* error) {
  dialogs->clear();
  menus->clear();
  QJsonParseError perr{};
  const QJsonDocument doc = QJsonDocument::fromJson(json, &perr);
  if (!doc.isObject()) {
    *error = perr.errorString();
    return false;
  }
  std::vector<DialogTemplate> ds;
  for (const QJsonValue& dv : doc.object().value("dialogs").toArray()) {
    const QJsonObject d = dv.toObject();
    DialogTemplate t;
    t.nId = d.value("id").toInt();
    const QJsonArray size = d.value("size").toArray();
    if (size.size() != 2) {
      *error = QStringLiteral("dialog %1: size needs two numbers").arg(t.nId);
      return false;
    }
    t.sizeDlu = QSize(size[0].toInt(), size[1].toInt());
    t.bCaption = d.value("caption").toBool();
    t.strTitle = d.value("title").toString();
    for (const QJsonValue& cv : d.value("controls").toArray()) {
      ControlTemplate c;
      if (!ParseControl(cv.toObject(), &c, error)) {
        *error = QStringLiteral("dialog %1, %2").arg(t.nId).arg(*error);
        return false;
      }
      t.controls.push_back(c);
    }
    ds.push_back(std::move(t));
  }
  std::vector<MenuTemplate> ms;
  for (const QJsonValue& mv : doc.object().value("menus").toArray()) {
    const QJsonObject m = mv.toObject();
    MenuTemplate t;
    t.nId = m.value("id").toInt();
    t.strTitle = m.value("title").toString();
    for (const QJsonValue& iv : m.value("items").toArray())
      t.items.push_back({iv.toObject().value("id").toInt(), iv.toObject().value("text").toString()});
    ms.push_back(std::move(t));
  }
  *dialogs = std::move(ds);
  *menus = std::move(ms);
  return true;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : LoadedTables().dialogs)
    if (t.nId == id) return &t;
  return nullptr;
}

const MenuTemplate* FindMenuTemplate(int id) {
  for (const MenuTemplate& m : LoadedTables().menus)
    if (m.nId == id) return &m;
  return nullptr;
}

}  // namespace win
