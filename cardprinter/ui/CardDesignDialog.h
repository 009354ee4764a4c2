#ifndef KELBO_CARDPRINTER_CARDDESIGNDIALOG_H
#define KELBO_CARDPRINTER_CARDDESIGNDIALOG_H

#include "CardDesign.h"
#include "CardLayout.h"
#include "CardSettings.h"

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <vector>

class CardoApplication;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

/** @brief A card painted with a design exactly as it prints, at the card's proportions, with the design's boxes over
 * it: a click chooses an element, dragging it moves it and dragging a corner handle sizes it, in steps of 0.5 mm.
 * It only proposes boxes (boxChanged); the dialog decides whether the design takes them. */
class CardDesignPreview : public QWidget
{
    Q_OBJECT
public:
    explicit CardDesignPreview(QWidget* parent = nullptr);

    void setDesign(const CardDesign& design);
    void setCard(const Card& card, const CardSettings& settings);
    void setSelected(const QString& id);
    const QString& selected() const { return m_selected; }

    /** Where the card lies in the widget. */
    QRectF cardRect() const;
    /** How many pixels a millimetre of the card takes. */
    double pixelsPerMm() const;
    /** The widget's point @p mm from the card's top-left corner. */
    QPointF toWidget(const QPointF& mm) const;
    /** The handles' size in pixels: large enough to be hit. */
    static constexpr int kHandle = 10;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /** An element was clicked. */
    void elementChosen(const QString& id);
    /** The chosen element was dragged or sized to @p box (mm, inside the card and above the bureau's margin). */
    void boxChanged(const QString& id, const QRectF& box);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Grip
    {
        None,
        Move,
        TopLeft,
        TopRight,
        BottomLeft,
        BottomRight
    };
    /** The card's geometry for the widget's size: the physical dots per inch the card is painted at. */
    int paintDpi() const;
    QPointF toMm(const QPointF& widget) const;
    QRectF widgetBox(const QRectF& mm) const;
    Grip gripAt(const QPointF& pos) const;
    QString elementAt(const QPointF& pos) const;
    const DesignElement* selectedElement() const;
    /** @p box moved or sized by @p delta mm as @p grip drags it, snapped and kept where a box may be. */
    QRectF dragged(const QRectF& box, Grip grip, const QPointF& delta) const;
    void propose(const QRectF& box);

    CardDesign m_design;
    Card m_card;
    CardSettings m_settings;
    QString m_selected;
    QImage m_image; // the card as printed, at the widget's size; null when it must be painted again
    Grip m_grip = Grip::None;
    QPointF m_pressMm;
    QRectF m_pressBox;
};

/** @brief Chooses a card design and edits it on a live preview of a held contact: elements moved and sized with the
 * mouse or typed in mm, points, weight, alignment, shown or not, free texts and the contact table's columns. Every
 * change is checked as a design file is; a refused one leaves the design as it was. The shipped designs are never
 * written: they are saved under a new name. The settings change only when the operator uses a design for domestic or
 * foreign cards here. */
class CardDesignDialog : public QDialog
{
    Q_OBJECT
public:
    /** Previews held row @p heldRow of @p app (-1: the first held contact, else a sample contact); the operator's
     * designs are in @p folder. */
    CardDesignDialog(CardoApplication& app, int heldRow, QWidget* parent = nullptr,
                     const QString& folder = cardDesignsFolder());

    /** The design as edited. */
    const CardDesign& design() const { return m_design; }
    /** Whether the design differs from its file. */
    bool edited() const { return m_design != m_saved; }
    CardDesignPreview* preview() const { return m_preview; }
    QListWidget* elementList() const { return m_elements; }
    QComboBox* designBox() const { return m_designBox; }
    QComboBox* contactBox() const { return m_contactBox; }

    /** Shows design @p id, asking first what becomes of changes not saved; false when it stays on the current one. */
    bool chooseDesign(const QString& id);
    /** Chooses element @p id for editing. */
    void selectElement(const QString& id);
    /** 保存: writes the operator's design over its file; a shipped one is saved under a new name. */
    bool save();
    /** 名前を付けて保存: asks for a new name and writes the design under it. */
    bool saveAs();
    /** Deletes the operator's design shown, after a question. */
    bool deleteDesign();
    /** Adds a free text, chosen for editing. */
    bool addFreeText();
    /** Removes the chosen free text. */
    bool removeFreeText();
    /** Asks for an image printed over the whole card (PNG, JPEG or SVG). */
    bool chooseBackground();
    /** Makes the design shown the one for domestic (@p domestic) or foreign cards, saving it first when changed. */
    bool useFor(bool domestic);

    /** Closing asks what becomes of changes not saved. */
    void reject() override;

private:
    void loadDesigns();
    void showDesign();
    void showElement();
    void showContact();
    void updateState();
    /** Takes @p candidate when the design file's reader would take it; else says why and keeps the design. */
    bool apply(const CardDesign& candidate);
    /** Changes the chosen element by @p change, as apply() does. */
    template <typename F> bool changeElement(F change);
    /** Asks what becomes of changes not saved: true when they were saved or may be dropped. */
    bool settleChanges();
    /** Whether @p id is a design name the operator may give ("" when it is, else why not). */
    QString nameProblem(const QString& id) const;

    CardoApplication& m_app;
    QString m_folder;
    std::vector<CardDesign> m_designs;
    CardDesign m_saved; // as its file (or the program) holds it
    CardDesign m_design; // as edited
    QString m_element; // the element being edited
    std::vector<Card> m_cards; // the contacts offered for the preview
    bool m_updating = false;

    QComboBox* m_designBox = nullptr;
    QComboBox* m_contactBox = nullptr;
    QLabel* m_designNote = nullptr;
    QLabel* m_usage = nullptr;
    QCheckBox* m_roman = nullptr;
    QLabel* m_background = nullptr;
    QListWidget* m_elements = nullptr;
    CardDesignPreview* m_preview = nullptr;
    QGroupBox* m_elementBox = nullptr;
    QDoubleSpinBox* m_x = nullptr;
    QDoubleSpinBox* m_y = nullptr;
    QDoubleSpinBox* m_width = nullptr;
    QDoubleSpinBox* m_height = nullptr;
    QDoubleSpinBox* m_points = nullptr;
    QCheckBox* m_bold = nullptr;
    QCheckBox* m_shown = nullptr;
    QComboBox* m_align = nullptr;
    QComboBox* m_valign = nullptr;
    QLineEdit* m_text = nullptr;
    QGroupBox* m_tableBox = nullptr;
    std::vector<QCheckBox*> m_columns;
    QCheckBox* m_captions = nullptr;
    QCheckBox* m_lines = nullptr;
    QDoubleSpinBox* m_rowHeight = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_addText = nullptr;
    QPushButton* m_removeText = nullptr;
};

#endif
