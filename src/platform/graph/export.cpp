// Saving what a graph shows: the table the program gives it, image and CSV files, and the
// right-click menu with its save dialogs.
#include "graph.h"
#include "fileio.h"
#include "files.h"
#include "registry.h"

#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPdfWriter>
#include <charconv>
#include <cmath>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

namespace korva {

namespace {

QString& ExportFolder()
{
    static QString folder;
    return folder;
}

enum class ImageFormat { Png, Pdf };

std::optional<ImageFormat> ImageFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return ImageFormat::Png;
    if (suffix == QLatin1String("pdf"))
        return ImageFormat::Pdf;
    return std::nullopt;
}

// Both renderers draw the way QCustomPlot::savePng and savePdf do, but into memory, so that the
// file can then be written safely. An empty result means the drawing failed.

// The graph at its size in pixels.
QByteArray RenderPng(KorvaGraph& graph)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!graph.toPixmap(graph.width(), graph.height()).save(&buffer, "PNG"))
        return {};
    return png;
}

// One page of the graph's size in points, drawn as vectors. At the screen's resolution the text
// has the same size relative to the plot as on the screen.
QByteArray RenderPdf(KorvaGraph& graph)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(graph.logicalDpiX());
    writer.setPageLayout(QPageLayout(QPageSize(graph.size(), QString(), QPageSize::ExactMatch), QPageLayout::Portrait,
                                     QMarginsF()));
    QCPPainter painter;
    if (!painter.begin(&writer))
        return {};
    painter.setMode(QCPPainter::pmVectorized);
    painter.setWindow(graph.rect());
    graph.toPainter(&painter, graph.width(), graph.height());
    return painter.end() ? pdf : QByteArray();
}

QByteArray RenderImage(KorvaGraph& graph, ImageFormat format)
{
    return format == ImageFormat::Png ? RenderPng(graph) : RenderPdf(graph);
}

// Whole numbers without decimals, others as short as they can be read back exactly.
void AppendNumber(QByteArray* text, double value)
{
    char digits[32];
    const bool whole = std::trunc(value) == value && std::abs(value) < 1e15;
    const std::to_chars_result written = whole
                                             ? std::to_chars(digits, std::end(digits), value, std::chars_format::fixed)
                                             : std::to_chars(digits, std::end(digits), value);
    text->append(digits, written.ptr - digits);
}

int WriteResult(const QString& path, const QByteArray& content)
{
    return !content.isEmpty() && core::WriteFileSafely(path, content) ? 0 : UIE_FILE_ACCESS;
}

}  // namespace

class GraphExport : public QObject {
public:
    explicit GraphExport(KorvaGraph* graph) : QObject(graph), m_graph(graph) {}

    // The storage only grows: a table no larger than any before it is copied in place.
    void setTable(const char* header, const double* values, int rows, int columns)
    {
        m_header.assign(header);
        m_values.assign(values, values + static_cast<size_t>(rows) * static_cast<size_t>(columns));
        m_rows = rows;
        m_columns = columns;
        if (hasTable())
            ++m_tablesGiven;
    }

    bool hasTable() const { return m_rows > 0; }
    long tablesGiven() const { return m_tablesGiven; }

    QByteArray csv() const
    {
        QByteArray text;
        text.reserve(static_cast<qsizetype>(m_header.size() + m_values.size() * 6 + 1));
        text.append(m_header.data(), static_cast<qsizetype>(m_header.size())).append('\n');
        for (int row = 0; row < m_rows; ++row) {
            for (int column = 0; column < m_columns; ++column) {
                if (column > 0)
                    text.append(',');
                AppendNumber(&text, m_values[static_cast<size_t>(row) * m_columns + column]);
            }
            text.append('\n');
        }
        return text;
    }

    void popUpMenu(QPoint globalPosition)
    {
        if (m_menu == nullptr)
            createMenu();
        m_saveTable->setEnabled(hasTable());
        m_menu->popup(globalPosition);
    }

    // Null unless a save dialog is open.
    const QPixmap& frozenPicture() const { return m_frozen; }

private:
    // What a save dialog writes for the path chosen, taken when the save was chosen; nothing for
    // a path it cannot be written to.
    using SaveContent = std::function<std::optional<QByteArray>(const QString& path)>;

    void createMenu()
    {
        m_menu = new QMenu(m_graph);
        m_menu->addAction(QStringLiteral("Save image..."), this, &GraphExport::saveImage);
        m_menu->addAction(QStringLiteral("Copy image"), this,
                          [this] { QGuiApplication::clipboard()->setPixmap(m_graph->toPixmap()); });
        m_saveTable = m_menu->addAction(QStringLiteral("Save data as CSV..."), this, &GraphExport::saveTable);
    }

    // Both formats are drawn now: the plot goes on changing while the dialog is open.
    void saveImage()
    {
        const QByteArray png = RenderPng(*m_graph);
        const QByteArray pdf = RenderPdf(*m_graph);
        askAndSave(QStringLiteral("Save image"), QStringLiteral("Images (*.png *.pdf)"),
                   [png, pdf](const QString& path) -> std::optional<QByteArray> {
                       const std::optional<ImageFormat> format = ImageFormatOf(path);
                       if (!format)
                           return std::nullopt;
                       return *format == ImageFormat::Png ? png : pdf;
                   });
    }

    void saveTable()
    {
        askAndSave(QStringLiteral("Save data as CSV"), QStringLiteral("CSV files (*.csv)"),
                   [text = csv()](const QString&) { return text; });
    }

    // Opens a save dialog without waiting for it: the program's loops go on while it is open. The
    // dialog takes only the extensions of `filter` and replaces an existing file without asking.
    // The graph keeps its picture until the dialog ends, however it ends.
    void askAndSave(const QString& title, const QString& filter, const SaveContent& content)
    {
        m_frozen = m_graph->grab();
        auto* dialog =
            new ui::FileDialog(m_graph->window(), title, startFolder(), filter, ui::FileChoice::NewOrReplaced);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->selectFile(defaultName(dialog->suffixes().value(0)));
        connect(dialog, &QFileDialog::fileSelected, this, [this, content](const QString& path) {
            const std::optional<QByteArray> bytes = content(path);
            if (!bytes || WriteResult(path, *bytes) != 0)
                showCannotSave(path);
        });
        connect(dialog, &QDialog::finished, this, [this] {
            m_frozen = QPixmap();
            m_graph->scheduleRepaint();
        });
        dialog->open();
    }

    void showCannotSave(const QString& path)
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save"),
                                    QStringLiteral("Cannot save %1").arg(QDir::toNativeSeparators(path)),
                                    QMessageBox::Ok, m_graph->window());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }

    static QString startFolder()
    {
        return ExportFolder().isEmpty() ? QDir::homePath() : ExportFolder();
    }

    // korva-<name>-<yyyyMMdd>-<HHmmss>.<suffix>
    QString defaultName(const QString& suffix) const
    {
        QString name = m_graph->property("exportName").toString();
        if (name.isEmpty())
            name = m_graph->objectName().toLower();
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        return QStringLiteral("korva-%1-%2.%3").arg(name, stamp, suffix);
    }

    KorvaGraph* m_graph;
    std::string m_header;
    std::vector<double> m_values;
    int m_rows = 0;
    int m_columns = 0;
    long m_tablesGiven = 0;
    QMenu* m_menu = nullptr;
    QAction* m_saveTable = nullptr;
    QPixmap m_frozen;
};

GraphExport& KorvaGraph::exporter()
{
    if (m_export == nullptr)
        m_export = new GraphExport(this);
    return *m_export;
}

QPixmap KorvaGraph::frozenPicture() const
{
    return m_export != nullptr ? m_export->frozenPicture() : QPixmap();
}

void KorvaGraph::contextMenuEvent(QContextMenuEvent* event)
{
    exporter().popUpMenu(event->globalPos());
    event->accept();
}

// ---- the saving functions of the program ---------------------------------------------------------

void SetExportFolder(const std::string& folder)
{
    ExportFolder() = QString::fromStdString(folder);
}

int SetGraphTable(int panel, int control, const char* header, const double* values, int rows, int columns)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        if (header == nullptr || rows < 0 || columns < 1 || (rows > 0 && values == nullptr))
            return UIE_BAD_ARGUMENT;
        graph.exporter().setTable(header, values, rows, columns);
        return 0;
    });
}

long GetGraphTableCount(int panel, int control)
{
    return GraphCount(panel, control, [](KorvaGraph& graph) { return graph.exporter().tablesGiven(); });
}

int SaveGraphImage(int panel, int control, const std::string& path)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        const QString file = QString::fromStdString(path);
        const std::optional<ImageFormat> format = ImageFormatOf(file);
        return format ? WriteResult(file, RenderImage(graph, *format)) : UIE_BAD_ARGUMENT;
    });
}

int SaveGraphTable(int panel, int control, const std::string& path)
{
    return WithGraph(panel, control, [&](KorvaGraph& graph) -> int {
        const GraphExport& table = graph.exporter();
        return table.hasTable() ? WriteResult(QString::fromStdString(path), table.csv()) : UIE_WRONG_KIND;
    });
}

}  // namespace korva
