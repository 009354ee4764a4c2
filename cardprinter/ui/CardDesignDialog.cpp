#include "CardDesignDialog.h"

#include "CardoApplication.h"
#include "app/UserDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

/** Room around the card in the preview, for the handles at its edges. */
constexpr int kCardMargin = 14;
/** Dragging moves and sizes boxes in steps of this many mm. */
constexpr double kSnap = 0.5;
/** The smallest box the mouse makes. */
constexpr double kLeastBox = 0.5;

/** @p v kept between @p low and @p high (@p low when they cross). */
double within(double v, double low, double high)
{
    return std::max(low, std::min(v, high));
}

const struct
{
    const char* id;
    const char* title;
} kColumnTitles[] = {{"date", "日付"},   {"time", "時刻"}, {"freq", "周波数/バンド"},
                     {"mode", "モード"}, {"rst", "RST"},   {"power", "電力"}};

/** Contacts to preview a design with when none is held: one with a station in Japan, one abroad via a manager. */
const struct
{
    const char* label;
    const char* line;
} kSamples[] = {
    {"見本: 国内局 JA1ZQX",
     R"(24.04.29,1011,JA1ZQX,59,7.045,SSB,50,"山田 太郎","東京都港区","VIA[JARL] REM[初めての交信ありがとうございました]",,,0)"},
    {"見本: 海外局 DL1ABC",
     R"(24.05.03,0915,DL1ABC,599,14.025,CW,100,"Hans","Berlin","VIA[DL1XYZ] REM[TNX FB QSO]",,,0)"},
};

QString designName(const CardDesign& d)
{
    return d.title.isEmpty() ? d.id : d.title;
}

} // namespace

// The preview.

CardDesignPreview::CardDesignPreview(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CardDesignPreview::setDesign(const CardDesign& design)
{
    m_design = design;
    m_image = QImage();
    update();
}

void CardDesignPreview::setCard(const Card& card, const CardSettings& settings)
{
    m_card = card;
    m_settings = settings;
    m_image = QImage();
    update();
}

void CardDesignPreview::setSelected(const QString& id)
{
    if (id != m_selected) {
        m_selected = id;
        m_grip = Grip::None;
        update();
    }
}

QSize CardDesignPreview::sizeHint() const
{
    return QSize(470, 680);
}

QSize CardDesignPreview::minimumSizeHint() const
{
    return QSize(250, 360);
}

int CardDesignPreview::paintDpi() const
{
    // Painted at a whole number of dots per inch, as a printer is: the fonts, sized in points by that resolution, then
    // keep the card's true proportions.
    const double k = std::min((width() - 2 * kCardMargin) / m_design.size.width(),
                              (height() - 2 * kCardMargin) / m_design.size.height());
    return std::max(10, static_cast<int>(std::floor(k * 25.4 * devicePixelRatioF())));
}

double CardDesignPreview::pixelsPerMm() const
{
    return paintDpi() / 25.4 / devicePixelRatioF();
}

QRectF CardDesignPreview::cardRect() const
{
    const double k = pixelsPerMm();
    const QSizeF size(m_design.size.width() * k, m_design.size.height() * k);
    // Whole pixels: the painted card is drawn unscaled.
    return QRectF(QPointF(std::round((width() - size.width()) / 2), std::round((height() - size.height()) / 2)), size);
}

QPointF CardDesignPreview::toWidget(const QPointF& mm) const
{
    return cardRect().topLeft() + mm * pixelsPerMm();
}

QPointF CardDesignPreview::toMm(const QPointF& widget) const
{
    return (widget - cardRect().topLeft()) / pixelsPerMm();
}

QRectF CardDesignPreview::widgetBox(const QRectF& mm) const
{
    return QRectF(toWidget(mm.topLeft()), toWidget(mm.bottomRight()));
}

const DesignElement* CardDesignPreview::selectedElement() const
{
    return m_selected.isEmpty() ? nullptr : m_design.element(m_selected);
}

CardDesignPreview::Grip CardDesignPreview::gripAt(const QPointF& pos) const
{
    const DesignElement* e = selectedElement();
    if (!e) {
        return Grip::None;
    }
    const QRectF box = widgetBox(e->box);
    const double h = kHandle / 2.0 + 1; // a pixel more than drawn: the handles are easy to hit
    const std::pair<QPointF, Grip> corners[] = {{box.bottomRight(), Grip::BottomRight},
                                                {box.topLeft(), Grip::TopLeft},
                                                {box.topRight(), Grip::TopRight},
                                                {box.bottomLeft(), Grip::BottomLeft}};
    for (const auto& [corner, grip] : corners) {
        if (std::abs(pos.x() - corner.x()) <= h && std::abs(pos.y() - corner.y()) <= h) {
            return grip;
        }
    }
    // A thin box (a rule) is taken a few pixels around.
    return box.adjusted(-3, -3, 3, 3).contains(pos) ? Grip::Move : Grip::None;
}

QString CardDesignPreview::elementAt(const QPointF& pos) const
{
    // The smallest box under the pointer: the boxes inside a frame or a table are chosen there, the frame elsewhere.
    QString found;
    double least = 0;
    for (const DesignElement& e : m_design.elements) {
        if (!e.shown && e.id != m_selected) {
            continue;
        }
        const QRectF box = widgetBox(e.box);
        const double area = e.box.width() * e.box.height();
        if (box.adjusted(-3, -3, 3, 3).contains(pos) && (found.isEmpty() || area < least)) {
            found = e.id;
            least = area;
        }
    }
    return found;
}

QRectF CardDesignPreview::dragged(const QRectF& box, Grip grip, const QPointF& delta) const
{
    const double right = m_design.size.width();
    const double bottom = m_design.size.height() - kBureauMargin;
    // An edge the pointer did not move stays where it was; one it moved lands on the 0.5 mm grid.
    const auto moved = [](double from, double by) {
        return std::abs(by) < kSnap / 2 ? from : std::round((from + by) / kSnap) * kSnap;
    };
    if (grip == Grip::Move) {
        QRectF b = box;
        if (std::abs(delta.x()) >= kSnap / 2) {
            b.moveLeft(within(moved(box.x(), delta.x()), 0, right - box.width()));
        }
        if (std::abs(delta.y()) >= kSnap / 2) {
            b.moveTop(within(moved(box.y(), delta.y()), 0, bottom - box.height()));
        }
        return b;
    }
    double l = box.left();
    double r = box.right();
    double t = box.top();
    double b = box.bottom();
    const bool left = grip == Grip::TopLeft || grip == Grip::BottomLeft;
    const bool top = grip == Grip::TopLeft || grip == Grip::TopRight;
    if (std::abs(delta.x()) >= kSnap / 2) {
        if (left) {
            l = within(moved(l, delta.x()), 0, r - kLeastBox);
        } else {
            r = within(moved(r, delta.x()), l + kLeastBox, right);
        }
    }
    if (std::abs(delta.y()) >= kSnap / 2) {
        if (top) {
            t = within(moved(t, delta.y()), 0, b - kLeastBox);
        } else {
            b = within(moved(b, delta.y()), t + kLeastBox, bottom);
        }
    }
    return QRectF(QPointF(l, t), QPointF(r, b));
}

void CardDesignPreview::propose(const QRectF& box)
{
    const DesignElement* e = selectedElement();
    if (e && box != e->box) {
        emit boxChanged(m_selected, box);
    }
}

void CardDesignPreview::resizeEvent(QResizeEvent* event)
{
    m_image = QImage();
    QWidget::resizeEvent(event);
}

void CardDesignPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x8a, 0x8f, 0x96));
    const QRectF card = cardRect();
    if (m_image.isNull()) {
        // The card as printing paints it, through the same renderer, on an image of the printer's kind.
        const int dpi = paintDpi();
        const double dotsPerMm = dpi / 25.4;
        QImage image(QSize(static_cast<int>(std::ceil(m_design.size.width() * dotsPerMm)),
                           static_cast<int>(std::ceil(m_design.size.height() * dotsPerMm))),
                     QImage::Format_RGB32);
        image.setDotsPerMeterX(static_cast<int>(std::lround(dpi / 0.0254)));
        image.setDotsPerMeterY(static_cast<int>(std::lround(dpi / 0.0254)));
        image.fill(Qt::white);
        {
            QPainter ip(&image);
            ip.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
            paintDesignedCard(ip, dotsPerMm, m_design, m_card, m_settings);
        }
        image.setDevicePixelRatio(devicePixelRatioF());
        m_image = image;
    }
    p.fillRect(card.translated(3, 3), QColor(0, 0, 0, 70));
    p.drawImage(card.topLeft(), m_image);

    // The bureau's margin: nothing is printed there.
    const QRectF margin
        = widgetBox(QRectF(0, m_design.size.height() - kBureauMargin, m_design.size.width(), kBureauMargin));
    p.fillRect(margin, QColor(200, 60, 60, 28));
    p.fillRect(margin, QBrush(QColor(200, 60, 60, 70), Qt::BDiagPattern));
    p.setPen(QColor(150, 40, 40));
    p.drawText(margin, Qt::AlignCenter, QStringLiteral("ビューロー欄 (印刷しません)"));

    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor blue(0, 95, 210);
    for (const DesignElement& e : m_design.elements) {
        if (!e.shown || e.id == m_selected) {
            continue;
        }
        QColor c = blue;
        c.setAlpha(110);
        p.setPen(QPen(c, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(widgetBox(e.box));
    }
    const DesignElement* e = selectedElement();
    if (!e) {
        return;
    }
    const QRectF box = widgetBox(e->box);
    p.setPen(QPen(e->shown ? blue : QColor(120, 120, 120), 2, e->shown ? Qt::SolidLine : Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    // Its name on a tag above the box (inside, where the box is at the card's top).
    QFont f = font();
    f.setPointSizeF(std::max(7.0, f.pointSizeF() * 0.85));
    p.setFont(f);
    const QFontMetrics fm(f);
    const QString name = designElementTitle(e->id) + (e->shown ? QString() : QStringLiteral(" (印刷しない)"));
    QRectF tag(box.left(), box.top() - fm.height() - 2, fm.horizontalAdvance(name) + 8, fm.height() + 2);
    if (tag.top() < card.top()) {
        tag.moveTop(box.top() + 1);
    }
    tag.moveLeft(within(tag.left(), 0, width() - tag.width()));
    // See-through: the card under it stays readable.
    QColor tagColor = e->shown ? blue : QColor(120, 120, 120);
    tagColor.setAlpha(170);
    p.fillRect(tag, tagColor);
    p.setPen(Qt::white);
    p.drawText(tag, Qt::AlignCenter, name);
    p.setPen(QPen(blue, 1));
    p.setBrush(Qt::white);
    for (const QPointF& corner : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
        p.drawRect(QRectF(corner - QPointF(kHandle / 2.0, kHandle / 2.0), QSizeF(kHandle, kHandle)));
    }
}

void CardDesignPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPointF pos = event->position();
    Grip grip = gripAt(pos);
    if (grip == Grip::None) {
        const QString id = elementAt(pos);
        if (id.isEmpty()) {
            return;
        }
        setSelected(id);
        emit elementChosen(id);
        grip = Grip::Move;
    }
    const DesignElement* e = selectedElement();
    if (!e) {
        return;
    }
    m_grip = grip;
    m_pressMm = toMm(pos);
    m_pressBox = e->box;
}

void CardDesignPreview::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grip == Grip::None || !(event->buttons() & Qt::LeftButton)) {
        Qt::CursorShape shape = Qt::ArrowCursor;
        switch (gripAt(event->position())) {
        case Grip::TopLeft:
        case Grip::BottomRight:
            shape = Qt::SizeFDiagCursor;
            break;
        case Grip::TopRight:
        case Grip::BottomLeft:
            shape = Qt::SizeBDiagCursor;
            break;
        case Grip::Move:
            shape = Qt::SizeAllCursor;
            break;
        case Grip::None:
            shape = elementAt(event->position()).isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor;
            break;
        }
        setCursor(shape);
        return;
    }
    propose(dragged(m_pressBox, m_grip, toMm(event->position()) - m_pressMm));
}

void CardDesignPreview::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_grip = Grip::None;
    }
}

void CardDesignPreview::keyPressEvent(QKeyEvent* event)
{
    // The arrow keys move the chosen element by a step; with Shift they size it.
    const DesignElement* e = selectedElement();
    QPointF step;
    switch (event->key()) {
    case Qt::Key_Left:
        step = QPointF(-kSnap, 0);
        break;
    case Qt::Key_Right:
        step = QPointF(kSnap, 0);
        break;
    case Qt::Key_Up:
        step = QPointF(0, -kSnap);
        break;
    case Qt::Key_Down:
        step = QPointF(0, kSnap);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (e) {
        propose(dragged(e->box, event->modifiers() & Qt::ShiftModifier ? Grip::BottomRight : Grip::Move, step));
    }
}

// The dialog.

CardDesignDialog::CardDesignDialog(CardoApplication& app, int heldRow, QWidget* parent, const QString& folder)
    : QDialog(parent)
    , m_app(app)
    , m_folder(folder)
{
    // The contacts offered: the chosen held one (else the first held), and the samples.
    QStringList contactLabels;
    const CardSettings& settings = app.settings();
    const std::vector<HeldLine>& lines = app.lines();
    const int held = static_cast<int>(lines.size());
    int row = heldRow >= 0 && heldRow < held && lines[static_cast<std::size_t>(heldRow)].contact.ok ? heldRow : -1;
    for (int r = 0; r < held && row < 0; ++r) {
        row = lines[static_cast<std::size_t>(r)].contact.ok ? r : -1;
    }
    const auto addCard = [this, &settings, &app](const std::vector<Contact>& contacts) {
        std::vector<Card> cards = makeCards(contacts, std::vector<qint64>(contacts.size(), 0), settings);
        placeCards(cards, app.bureauOrder(), settings);
        m_cards.push_back(cards.front());
    };
    if (row >= 0) {
        const Contact& c = lines[static_cast<std::size_t>(row)].contact;
        std::vector<Contact> contacts{c};
        // With grouping on, the card carries the station's other held contacts as printing gathers them.
        for (int r = 0; settings.groupContacts && r < held && contacts.size() < kContactsPerCard; ++r) {
            const Contact& o = lines[static_cast<std::size_t>(r)].contact;
            if (r != row && o.ok && o.call.compare(c.call, Qt::CaseInsensitive) == 0) {
                contacts.push_back(o);
            }
        }
        addCard(contacts);
        contactLabels << QStringLiteral("保持している交信: %1 %2").arg(c.call, c.dateText);
    }
    for (const auto& s : kSamples) {
        addCard({parseContact(QString::fromUtf8(s.line))});
        contactLabels << QString::fromUtf8(s.label);
    }

    setWindowTitle(QStringLiteral("カードのデザイン"));
    m_designBox = new QComboBox(this);
    m_designBox->setObjectName(QStringLiteral("design"));
    m_designBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_save = new QPushButton(QStringLiteral("保存"), this);
    auto* saveAs = new QPushButton(QStringLiteral("名前を付けて保存..."), this);
    m_delete = new QPushButton(QStringLiteral("削除..."), this);
    m_designNote = new QLabel(this);
    m_designNote->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("デザイン:"), this));
    top->addWidget(m_designBox, 1);
    top->addWidget(m_save);
    top->addWidget(saveAs);
    top->addWidget(m_delete);

    // Left: the design's elements, ticked when printed.
    m_elements = new QListWidget(this);
    m_elements->setObjectName(QStringLiteral("elements"));
    m_addText = new QPushButton(QStringLiteral("自由テキストを追加"), this);
    m_removeText = new QPushButton(QStringLiteral("自由テキストを削除"), this);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("要素 (チェックしたものを印刷):"), this));
    left->addWidget(m_elements, 1);
    left->addWidget(m_addText);
    left->addWidget(m_removeText);

    // Middle: the preview.
    m_contactBox = new QComboBox(this);
    m_contactBox->setObjectName(QStringLiteral("contact"));
    m_contactBox->addItems(contactLabels);
    m_preview = new CardDesignPreview(this);
    auto* hint = new QLabel(QStringLiteral("クリックで選び, ドラッグで移動, 角の四角をドラッグして大きさを変えます "
                                           "(0.5 mm 刻み. 矢印キーで移動, Shift+矢印キーで大きさ)."),
                            this);
    hint->setWordWrap(true);
    hint->setObjectName(QStringLiteral("hint"));
    auto* middle = new QVBoxLayout;
    middle->addWidget(m_preview, 1);

    // Right: the chosen element's values.
    const auto spin = [this](const char* name, double least, double most, int decimals, const QString& suffix) {
        auto* b = new QDoubleSpinBox(this);
        b->setObjectName(QLatin1String(name));
        // Wider than a card takes, so that a value typed outside it is refused with the reason instead of clamped.
        b->setRange(least, most);
        b->setDecimals(decimals);
        b->setSingleStep(kSnap);
        b->setSuffix(suffix);
        b->setKeyboardTracking(false);
        return b;
    };
    const QString mm = QStringLiteral(" mm");
    m_x = spin("x", -999, 999, 2, mm);
    m_y = spin("y", -999, 999, 2, mm);
    m_width = spin("width", -999, 999, 2, mm);
    m_height = spin("height", -999, 999, 2, mm);
    m_points = spin("points", 0, 999, 1, QStringLiteral(" pt"));
    m_bold = new QCheckBox(QStringLiteral("太字"), this);
    m_bold->setObjectName(QStringLiteral("bold"));
    m_shown = new QCheckBox(QStringLiteral("印刷する"), this);
    m_shown->setObjectName(QStringLiteral("shown"));
    m_align = new QComboBox(this);
    m_align->setObjectName(QStringLiteral("align"));
    m_align->addItem(QStringLiteral("左寄せ"), static_cast<int>(Qt::AlignLeft));
    m_align->addItem(QStringLiteral("中央"), static_cast<int>(Qt::AlignHCenter));
    m_align->addItem(QStringLiteral("右寄せ"), static_cast<int>(Qt::AlignRight));
    m_valign = new QComboBox(this);
    m_valign->setObjectName(QStringLiteral("valign"));
    m_valign->addItem(QStringLiteral("上"), static_cast<int>(Qt::AlignTop));
    m_valign->addItem(QStringLiteral("中央"), static_cast<int>(Qt::AlignVCenter));
    m_valign->addItem(QStringLiteral("下"), static_cast<int>(Qt::AlignBottom));
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("text"));
    m_text->setMaxLength(200);
    m_elementBox = new QGroupBox(this);
    auto* ef = new QFormLayout(m_elementBox);
    const auto pair = [this](const QString& a, QWidget* wa, const QString& b, QWidget* wb) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(a, this));
        row->addWidget(wa, 1);
        row->addSpacing(6);
        row->addWidget(new QLabel(b, this));
        row->addWidget(wb, 1);
        return row;
    };
    ef->addRow(QStringLiteral("位置"), pair(QStringLiteral("左"), m_x, QStringLiteral("上"), m_y));
    ef->addRow(QStringLiteral("大きさ"), pair(QStringLiteral("幅"), m_width, QStringLiteral("高さ"), m_height));
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(m_points, 1);
    fontRow->addWidget(m_bold);
    ef->addRow(QStringLiteral("文字"), fontRow);
    ef->addRow(QStringLiteral("揃え"), pair(QStringLiteral("横"), m_align, QStringLiteral("縦"), m_valign));
    ef->addRow(QStringLiteral("文字列"), m_text);
    ef->addRow(QString(), m_shown);

    m_tableBox = new QGroupBox(QStringLiteral("交信表"), this);
    auto* tg = new QGridLayout(m_tableBox);
    int at = 0;
    for (const auto& c : kColumnTitles) {
        auto* box = new QCheckBox(QString::fromUtf8(c.title), this);
        box->setObjectName(QStringLiteral("column-") + QLatin1String(c.id));
        box->setProperty("column", QString::fromLatin1(c.id));
        m_columns.push_back(box);
        tg->addWidget(box, at / 3, at % 3);
        ++at;
    }
    m_captions = new QCheckBox(QStringLiteral("見出しの行"), this);
    m_lines = new QCheckBox(QStringLiteral("罫線"), this);
    m_rowHeight = spin("rowHeight", 0, 999, 1, mm);
    tg->addWidget(m_captions, 2, 0);
    tg->addWidget(m_lines, 2, 1);
    auto* rowHeight = new QHBoxLayout;
    rowHeight->addWidget(new QLabel(QStringLiteral("1 行の高さ"), this));
    rowHeight->addWidget(m_rowHeight, 1);
    tg->addLayout(rowHeight, 3, 0, 1, 3);

    m_roman = new QCheckBox(QStringLiteral("海外局向け (ローマ字の自局, 日本語の欄は印刷しない)"), this);
    m_roman->setObjectName(QStringLiteral("roman"));
    m_background = new QLabel(this);
    m_background->setObjectName(QStringLiteral("background"));
    m_background->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pickBackground = new QPushButton(QStringLiteral("背景画像..."), this);
    auto* noBackground = new QPushButton(QStringLiteral("背景なし"), this);
    auto* backgroundRow = new QHBoxLayout;
    backgroundRow->addWidget(new QLabel(QStringLiteral("背景:"), this));
    backgroundRow->addWidget(m_background, 1);
    backgroundRow->addWidget(pickBackground);
    backgroundRow->addWidget(noBackground);
    auto* right = new QVBoxLayout;
    right->addWidget(m_elementBox);
    right->addWidget(m_tableBox);
    right->addWidget(m_roman);
    right->addLayout(backgroundRow);
    right->addStretch(1);
    // The contact the preview shows, and how the mouse works there: beside the preview, which keeps the height.
    right->addWidget(new QLabel(QStringLiteral("プレビューの交信:"), this));
    right->addWidget(m_contactBox);
    right->addWidget(hint);

    // The preview takes the room the lists and fields leave.
    auto* leftSide = new QWidget(this);
    leftSide->setLayout(left);
    leftSide->setMaximumWidth(270);
    left->setContentsMargins(0, 0, 0, 0);
    auto* rightSide = new QWidget(this);
    rightSide->setLayout(right);
    rightSide->setMaximumWidth(370);
    right->setContentsMargins(0, 0, 0, 0);
    auto* body = new QHBoxLayout;
    body->addWidget(leftSide, 0);
    body->addLayout(middle, 1);
    body->addWidget(rightSide, 0);

    auto* domestic = new QPushButton(QStringLiteral("国内カードに使う"), this);
    auto* foreign = new QPushButton(QStringLiteral("海外カードに使う"), this);
    m_usage = new QLabel(this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setAutoDefault(false);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(domestic);
    bottom->addWidget(foreign);
    bottom->addSpacing(8);
    bottom->addWidget(m_usage, 1);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_designNote);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);
    // No button is the default: Enter in a value field takes the value, it does not save or close.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
    }

    connect(m_designBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!m_updating) {
            chooseDesign(m_designBox->currentData().toString());
        }
    });
    connect(m_contactBox, qOverload<int>(&QComboBox::currentIndexChanged), this, &CardDesignDialog::showContact);
    connect(m_save, &QPushButton::clicked, this, &CardDesignDialog::save);
    connect(saveAs, &QPushButton::clicked, this, &CardDesignDialog::saveAs);
    connect(m_delete, &QPushButton::clicked, this, &CardDesignDialog::deleteDesign);
    connect(m_addText, &QPushButton::clicked, this, &CardDesignDialog::addFreeText);
    connect(m_removeText, &QPushButton::clicked, this, &CardDesignDialog::removeFreeText);
    connect(pickBackground, &QPushButton::clicked, this, &CardDesignDialog::chooseBackground);
    connect(noBackground, &QPushButton::clicked, this, [this] {
        CardDesign candidate = m_design;
        candidate.background.clear();
        apply(candidate);
    });
    connect(domestic, &QPushButton::clicked, this, [this] { useFor(true); });
    connect(foreign, &QPushButton::clicked, this, [this] { useFor(false); });
    connect(close, &QPushButton::clicked, this, &CardDesignDialog::reject);
    connect(m_elements, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!m_updating && item) {
            selectElement(item->data(Qt::UserRole).toString());
        }
    });
    connect(m_elements, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (m_updating) {
            return;
        }
        selectElement(item->data(Qt::UserRole).toString());
        const bool shown = item->checkState() == Qt::Checked;
        changeElement([shown](DesignElement& e, CardDesign&) { e.shown = shown; });
    });
    connect(m_preview, &CardDesignPreview::elementChosen, this, &CardDesignDialog::selectElement);
    connect(m_preview, &CardDesignPreview::boxChanged, this, [this](const QString& id, const QRectF& box) {
        if (id != m_element) {
            selectElement(id);
        }
        // Dragging keeps the box where a box may be; should the reader still refuse it, the box stays put quietly.
        CardDesign candidate = m_design;
        if (DesignElement* e = candidate.element(id)) {
            e->box = box;
            if (checkCardDesign(candidate, nullptr)) {
                apply(candidate);
            }
        }
    });
    const auto number = [this](QDoubleSpinBox* b, void (*set)(DesignElement&, double)) {
        connect(b, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this, set](double v) {
            if (!m_updating) {
                changeElement([set, v](DesignElement& e, CardDesign&) { set(e, v); });
            }
        });
    };
    number(m_x, [](DesignElement& e, double v) { e.box.moveLeft(v); });
    number(m_y, [](DesignElement& e, double v) { e.box.moveTop(v); });
    number(m_width, [](DesignElement& e, double v) { e.box.setWidth(v); });
    number(m_height, [](DesignElement& e, double v) { e.box.setHeight(v); });
    number(m_points, [](DesignElement& e, double v) { e.points = v; });
    connect(m_bold, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating) {
            changeElement([on](DesignElement& e, CardDesign&) { e.bold = on; });
        }
    });
    connect(m_shown, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating) {
            changeElement([on](DesignElement& e, CardDesign&) { e.shown = on; });
        }
    });
    for (QComboBox* box : {m_align, m_valign}) {
        const Qt::Alignment mask = box == m_align ? Qt::AlignHorizontal_Mask : Qt::AlignVertical_Mask;
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, [this, box, mask] {
            if (!m_updating) {
                const Qt::Alignment flag(box->currentData().toInt());
                changeElement([mask, flag](DesignElement& e, CardDesign&) { e.align = (e.align & ~mask) | flag; });
            }
        });
    }
    connect(m_text, &QLineEdit::editingFinished, this, [this] {
        if (!m_updating) {
            const QString text = m_text->text();
            changeElement([text](DesignElement& e, CardDesign&) { e.text = text; });
        }
    });
    for (QCheckBox* box : m_columns) {
        connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
            if (m_updating) {
                return;
            }
            const QString id = box->property("column").toString();
            changeElement([id, on](DesignElement&, CardDesign& d) {
                for (DesignColumn& c : d.columns) {
                    if (c.id == id) {
                        c.shown = on;
                    }
                }
            });
        });
    }
    connect(m_captions, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating) {
            changeElement([on](DesignElement&, CardDesign& d) { d.captions = on; });
        }
    });
    connect(m_lines, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating) {
            changeElement([on](DesignElement&, CardDesign& d) { d.tableLines = on; });
        }
    });
    connect(m_rowHeight, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        if (!m_updating) {
            changeElement([v](DesignElement&, CardDesign& d) { d.rowHeight = v; });
        }
    });
    connect(m_roman, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_updating) {
            CardDesign candidate = m_design;
            candidate.roman = on;
            apply(candidate);
        }
    });

    // The design the operator's domestic cards use comes first; a design that cannot be read now starts plain.
    loadDesigns();
    CardDesign first = shippedCardDesign(QStringLiteral("plain"));
    for (const CardDesign& d : m_designs) {
        if (d.id == settings.domesticDesign) {
            first = d;
        }
    }
    m_saved = m_design = first;
    showDesign();
    showContact();

    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1366, 768);
    resize(std::min(1400, screen.width() - 24), std::min(1000, screen.height() - 48));
}

void CardDesignDialog::loadDesigns()
{
    QStringList problems;
    m_designs = cardDesigns(&problems, m_folder);
    const QSignalBlocker block(m_designBox);
    m_designBox->clear();
    for (const CardDesign& d : m_designs) {
        m_designBox->addItem(d.shipped ? QStringLiteral("付属: %1").arg(designName(d)) : designName(d), d.id);
    }
    m_designBox->setCurrentIndex(m_designBox->findData(m_design.id));
    // Files that cannot be read are named, so that the operator can mend them.
    m_designNote->setText(problems.join(QLatin1Char('\n')));
    m_designNote->setVisible(!problems.isEmpty());
}

void CardDesignDialog::showDesign()
{
    m_updating = true;
    {
        const QSignalBlocker block(m_designBox);
        m_designBox->setCurrentIndex(m_designBox->findData(m_design.id));
    }
    m_elements->clear();
    for (const DesignElement& e : m_design.elements) {
        auto* item = new QListWidgetItem(designElementTitle(e.id), m_elements);
        item->setData(Qt::UserRole, e.id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(e.shown ? Qt::Checked : Qt::Unchecked);
    }
    m_roman->setChecked(m_design.roman);
    m_updating = false;
    if (!m_design.element(m_element)) {
        // The first element printed, else the first of all.
        m_element.clear();
        for (const DesignElement& e : m_design.elements) {
            if (m_element.isEmpty() && e.shown) {
                m_element = e.id;
            }
        }
        if (m_element.isEmpty() && !m_design.elements.empty()) {
            m_element = m_design.elements.front().id;
        }
    }
    m_preview->setDesign(m_design);
    showElement();
    updateState();
}

void CardDesignDialog::showElement()
{
    m_updating = true;
    const DesignElement* e = m_design.element(m_element);
    m_preview->setSelected(e ? m_element : QString());
    for (int i = 0; i < m_elements->count(); ++i) {
        QListWidgetItem* item = m_elements->item(i);
        const DesignElement* shown = m_design.element(item->data(Qt::UserRole).toString());
        item->setCheckState(shown && shown->shown ? Qt::Checked : Qt::Unchecked);
        if (e && item->data(Qt::UserRole).toString() == m_element) {
            m_elements->setCurrentItem(item);
        }
    }
    m_elementBox->setEnabled(e != nullptr);
    m_elementBox->setTitle(e ? designElementTitle(e->id) : QString());
    if (e) {
        m_x->setValue(e->box.x());
        m_y->setValue(e->box.y());
        m_width->setValue(e->box.width());
        m_height->setValue(e->box.height());
        m_points->setValue(e->points);
        m_bold->setChecked(e->bold);
        m_shown->setChecked(e->shown);
        m_align->setCurrentIndex(m_align->findData(static_cast<int>(e->align & Qt::AlignHorizontal_Mask)));
        m_valign->setCurrentIndex(m_valign->findData(static_cast<int>(e->align & Qt::AlignVertical_Mask)));
        m_text->setEnabled(designTakesText(e->id));
        m_text->setText(designTakesText(e->id) ? e->text : QString());
    }
    const bool table = e && e->id == QLatin1String("contacts");
    m_tableBox->setVisible(table);
    for (QCheckBox* box : m_columns) {
        bool shown = false;
        for (const DesignColumn& c : m_design.columns) {
            shown = shown || (c.id == box->property("column").toString() && c.shown);
        }
        box->setChecked(shown);
    }
    m_captions->setChecked(m_design.captions);
    m_lines->setChecked(m_design.tableLines);
    m_rowHeight->setValue(m_design.rowHeight);
    m_roman->setChecked(m_design.roman);
    m_background->setText(m_design.background.isEmpty() ? QStringLiteral("なし")
                                                        : QFileInfo(m_design.background).fileName());
    m_background->setToolTip(QDir::toNativeSeparators(m_design.background));
    m_updating = false;
    m_removeText->setEnabled(designFreeTextNumber(m_element) > 0);
}

void CardDesignDialog::showContact()
{
    const int i = m_contactBox->currentIndex();
    if (i >= 0 && i < static_cast<int>(m_cards.size())) {
        m_preview->setCard(m_cards[static_cast<std::size_t>(i)], m_app.settings());
    }
}

void CardDesignDialog::updateState()
{
    const QString name = designName(m_design);
    setWindowTitle(
        QStringLiteral("カードのデザイン: %1%2").arg(name, edited() ? QStringLiteral(" (変更あり)") : QString()));
    m_save->setEnabled(edited());
    m_delete->setEnabled(!m_design.shipped);
    int texts = 0;
    for (const DesignElement& e : m_design.elements) {
        texts += designFreeTextNumber(e.id) > 0 ? 1 : 0;
    }
    m_addText->setEnabled(texts < kMaxFreeTexts);
    const auto title = [this](const QString& id) {
        for (const CardDesign& d : m_designs) {
            if (d.id == id) {
                return designName(d);
            }
        }
        return id;
    };
    const CardSettings& s = m_app.settings();
    m_usage->setText(
        QStringLiteral("国内カード: %1 / 海外カード: %2").arg(title(s.domesticDesign), title(s.foreignDesign))
        + (m_design.shipped ? QStringLiteral("\n付属のデザインは書き換えません. 変えたら「名前を付けて保存」"
                                             "で新しいデザインにします.")
                            : QString()));
}

bool CardDesignDialog::apply(const CardDesign& candidate)
{
    if (candidate == m_design) {
        return true;
    }
    QString error;
    // A shipped design has no file: the message names it by its title.
    if (!checkCardDesign(candidate, &error, candidate.shipped ? designName(candidate) : QString())) {
        // The fields show the design as it stays before the operator is told why.
        showElement();
        dialogs().WarningBox(this, error);
        return false;
    }
    m_design = candidate;
    m_preview->setDesign(m_design);
    showElement();
    updateState();
    return true;
}

template <typename F> bool CardDesignDialog::changeElement(F change)
{
    CardDesign candidate = m_design;
    DesignElement* e = candidate.element(m_element);
    if (!e) {
        return false;
    }
    change(*e, candidate);
    return apply(candidate);
}

void CardDesignDialog::selectElement(const QString& id)
{
    if (m_design.element(id)) {
        m_element = id;
    }
    showElement();
}

bool CardDesignDialog::settleChanges()
{
    if (!edited()) {
        return true;
    }
    const Answer a = dialogs().YesNoCancelBox(
        this,
        (m_design.shipped ? QStringLiteral("付属のデザイン「%1」の変更を別の名前で保存しますか？")
                          : QStringLiteral("デザイン「%1」の変更を保存しますか？"))
            .arg(designName(m_design)));
    if (a == Answer::Yes) {
        return save();
    }
    return a == Answer::No;
}

bool CardDesignDialog::chooseDesign(const QString& id)
{
    if (id == m_design.id && !edited()) {
        return true;
    }
    const auto found
        = std::find_if(m_designs.begin(), m_designs.end(), [&id](const CardDesign& d) { return d.id == id; });
    if (found == m_designs.end() || !settleChanges()) {
        const QSignalBlocker block(m_designBox);
        m_designBox->setCurrentIndex(m_designBox->findData(m_design.id));
        return false;
    }
    // Saving may have read the list anew.
    for (const CardDesign& d : m_designs) {
        if (d.id == id) {
            m_saved = m_design = d;
        }
    }
    // The element edited stays chosen where the other design prints it too.
    const DesignElement* kept = m_design.element(m_element);
    if (!kept || !kept->shown) {
        m_element.clear();
    }
    showDesign();
    return true;
}

QString CardDesignDialog::nameProblem(const QString& id) const
{
    if (id.trimmed().isEmpty()) {
        return QStringLiteral("デザインの名前を入れてください.");
    }
    // Names that make a plain file name on every system: the folder may be copied to another machine.
    bool plain = id == id.trimmed() && !id.startsWith(QLatin1Char('.')) && id.size() <= 100;
    for (const QChar c : id) {
        plain = plain && c.unicode() >= 0x20 && !QStringLiteral("\\/:*?\"<>|").contains(c);
    }
    if (!plain) {
        return QStringLiteral("「%1」はデザインの名前 (ファイル名) に使えません.\r\n\r\n"
                              "100 文字までで, 先頭の「.」, 前後の空白, 制御文字と \\ / : * ? \" < > | は使えません.")
            .arg(id.left(100));
    }
    for (const CardDesign& s : shippedCardDesigns()) {
        if (s.id.compare(id, Qt::CaseInsensitive) == 0) {
            return QStringLiteral("「%1」は付属のデザインの名前です. 別の名前を付けてください.").arg(id);
        }
    }
    bool taken = QFileInfo::exists(QDir(m_folder).filePath(id + QStringLiteral(".json")));
    for (const CardDesign& d : m_designs) {
        taken = taken || d.id == id;
    }
    if (taken) {
        return QStringLiteral("「%1」という名前のデザインはもうあります. 別の名前を付けてください.").arg(id);
    }
    return QString();
}

bool CardDesignDialog::save()
{
    if (m_design.shipped) {
        return saveAs();
    }
    QString error;
    if (!saveCardDesign(m_design, &error, m_folder)) {
        dialogs().WarningBox(this, error);
        return false;
    }
    m_saved = m_design;
    loadDesigns();
    updateState();
    return true;
}

bool CardDesignDialog::saveAs()
{
    QDir().mkpath(m_folder);
    FileDialogSpec ask;
    ask.title = QStringLiteral("名前を付けて保存");
    ask.filter = QStringLiteral("カードのデザイン (*.json)");
    QString proposed = m_design.shipped ? QStringLiteral("%1 のコピー").arg(designName(m_design)) : m_design.id;
    for (const QChar c : QStringLiteral("\\/:*?\"<>|")) {
        proposed.replace(c, QLatin1Char('_'));
    }
    ask.fileName = proposed + QStringLiteral(".json");
    ask.defaultExt = QStringLiteral("json");
    ask.startDir = m_folder;
    ask.confirmOverwrite = false; // a name taken is refused below: a design is never replaced by save as
    const QString path = dialogs().SaveFileName(this, ask);
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo chosen(path);
    const QString there = QFileInfo(chosen.absolutePath()).canonicalFilePath();
    const QString folder = QFileInfo(m_folder).canonicalFilePath();
    if (there.isEmpty() || there != folder) {
        dialogs().WarningBox(this,
                             QStringLiteral("デザインはデザインのフォルダに保存してください:\r\n%1")
                                 .arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    QString id = chosen.fileName();
    if (id.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)) {
        id.chop(5);
    }
    const QString problem = nameProblem(id);
    if (!problem.isEmpty()) {
        dialogs().WarningBox(this, problem);
        return false;
    }
    CardDesign d = m_design;
    d.id = id;
    d.title = id;
    d.shipped = false;
    QString error;
    if (!saveCardDesign(d, &error, m_folder)) {
        dialogs().WarningBox(this, error);
        return false;
    }
    m_saved = m_design = d;
    loadDesigns();
    showDesign();
    return true;
}

bool CardDesignDialog::deleteDesign()
{
    if (m_design.shipped) {
        dialogs().WarningBox(this, QStringLiteral("付属のデザインは削除できません."));
        return false;
    }
    const CardSettings& s = m_app.settings();
    if (s.domesticDesign == m_design.id || s.foreignDesign == m_design.id) {
        // Printing would stop on a design that is gone.
        dialogs().WarningBox(
            this,
            QStringLiteral("デザイン「%1」は%2に使っています.\r\n\r\n"
                           "先に別のデザインを使うようにしてから削除してください.")
                .arg(designName(m_design),
                     s.domesticDesign == m_design.id ? QStringLiteral("国内カード") : QStringLiteral("海外カード")));
        return false;
    }
    const QString path = QDir(m_folder).filePath(m_design.id + QStringLiteral(".json"));
    if (dialogs().YesNoBox(this,
                           QStringLiteral("デザイン「%1」を削除しますか？\r\n\r\n%2")
                               .arg(designName(m_design), QDir::toNativeSeparators(path)))
        != Answer::Yes) {
        return false;
    }
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        dialogs().WarningBox(this,
                             QStringLiteral("デザイン「%1」を削除できません:\r\n%2")
                                 .arg(designName(m_design), QDir::toNativeSeparators(path)));
        return false;
    }
    m_saved = m_design = shippedCardDesign(QStringLiteral("plain"));
    loadDesigns();
    showDesign();
    return true;
}

bool CardDesignDialog::addFreeText()
{
    int n = 1;
    while (n <= kMaxFreeTexts && m_design.element(QStringLiteral("text%1").arg(n))) {
        ++n;
    }
    if (n > kMaxFreeTexts) {
        dialogs().WarningBox(this, QStringLiteral("自由テキストは %1 個までです.").arg(kMaxFreeTexts));
        return false;
    }
    CardDesign candidate = m_design;
    DesignElement e;
    e.id = QStringLiteral("text%1").arg(n);
    e.box = QRectF(6, 100, 88, 5);
    e.text = candidate.roman ? QStringLiteral("Text") : QStringLiteral("テキスト");
    // Free texts follow the other elements in their numbers' order, as a design file is read back.
    auto at = std::find_if(candidate.elements.begin(), candidate.elements.end(),
                           [n](const DesignElement& o) { return designFreeTextNumber(o.id) > n; });
    candidate.elements.insert(at, e);
    if (!apply(candidate)) {
        return false;
    }
    m_element = e.id;
    showDesign();
    return true;
}

bool CardDesignDialog::removeFreeText()
{
    if (designFreeTextNumber(m_element) == 0) {
        return false;
    }
    CardDesign candidate = m_design;
    const QString id = m_element;
    candidate.elements.erase(std::remove_if(candidate.elements.begin(), candidate.elements.end(),
                                            [&id](const DesignElement& e) { return e.id == id; }),
                             candidate.elements.end());
    if (!apply(candidate)) {
        return false;
    }
    m_element.clear();
    showDesign();
    return true;
}

bool CardDesignDialog::chooseBackground()
{
    FileDialogSpec ask;
    ask.title = QStringLiteral("背景画像");
    ask.filter = QStringLiteral("画像 (*.png *.jpg *.jpeg *.svg)");
    ask.startDir = m_design.background.isEmpty() ? QString() : QFileInfo(m_design.background).absolutePath();
    const QString path = dialogs().OpenFileName(this, ask);
    if (path.isEmpty()) {
        return false;
    }
    // Checked as the file's reader checks it: an image that is not there or of another kind is refused.
    CardDesign candidate = m_design;
    candidate.background = QFileInfo(path).absoluteFilePath();
    return apply(candidate);
}

bool CardDesignDialog::useFor(bool domestic)
{
    if (m_app.jobPending()) {
        // The settings file holds the job's card numbers until it ended.
        dialogs().WarningBox(
            this,
            QStringLiteral("カードを印刷中です (ジョブ %1).\r\n\r\n印刷が終わってから設定してください.")
                .arg(m_app.jobText()));
        return false;
    }
    if (!m_app.settingsDamage().isEmpty()) {
        // Writing the settings now would restart the card numbers behind the operator's back.
        dialogs().WarningBox(this,
                             m_app.settingsDamage()
                                 + QStringLiteral("\r\n\r\n先に 設定... で次のカード番号などを設定してください."));
        return false;
    }
    if (edited() && !save()) {
        return false;
    }
    CardSettings s = m_app.settings();
    (domestic ? s.domesticDesign : s.foreignDesign) = m_design.id;
    if (!m_app.setSettings(s)) {
        dialogs().WarningBox(this, QStringLiteral("設定ファイルに書き込めません."));
        return false;
    }
    updateState();
    return true;
}

void CardDesignDialog::reject()
{
    if (settleChanges()) {
        QDialog::reject();
    }
}
