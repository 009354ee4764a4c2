// kelbo-lines' manual page and its --help say the same: the same usage lines, the same options with the same
// words, and every sentence of the help's notes. The page is read with the few man macros it uses.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>
#include <ostream>

void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace {

const QString kProgram = QStringLiteral(KELBO_BINARY_DIR "/src/lines/kelbo-lines");
const QString kManPage = QStringLiteral(KELBO_SAMPLE_DIR "/../man/kelbo-lines.1");

QString simplified(QString text)
{
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

/** The arguments of a macro line, quotes taken off. */
QStringList macroArguments(const QString& rest)
{
    QStringList args;
    static const QRegularExpression arg(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    for (auto it = arg.globalMatch(rest); it.hasNext();) {
        const auto m = it.next();
        args << (m.capturedStart(1) >= 0 ? m.captured(1) : m.captured(2));
    }
    return args;
}

QString unescaped(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    return text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

/** A man page as the text it shows: its sections by name, each a list of blocks (a block ends at .PP, .br
 * and .TP; the first block after .TP is the option's term). Font macros join their words as groff does. */
struct ManPage
{
    struct Item
    {
        QString term;
        QString text;
    };
    std::map<QString, QStringList> blocks;
    std::map<QString, std::vector<Item>> items;
    QStringList prose; // every block outside the option lists, in the page's order

    explicit ManPage(const QString& source)
    {
        QString section;
        QString block;
        bool term = false;
        Item item;
        bool inItem = false;
        auto endBlock = [&] {
            const QString text = simplified(unescaped(block));
            block.clear();
            if (text.isEmpty()) {
                return;
            }
            if (term) {
                item.term = text;
                term = false;
            } else if (inItem) {
                item.text = text;
                items[section].push_back(item);
                inItem = false;
            } else {
                blocks[section] << text;
                prose << text;
            }
        };
        for (const QString& line : source.split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1Char('.'))) {
                block += line + QLatin1Char(' ');
                if (term) {
                    endBlock();
                }
                continue;
            }
            const QString name = line.section(QLatin1Char(' '), 0, 0).mid(1);
            const QStringList args = macroArguments(line.section(QLatin1Char(' '), 1));
            if (name == QLatin1String("SH")) {
                endBlock();
                inItem = false;
                section = args.join(QLatin1Char(' '));
            } else if (name == QLatin1String("PP") || name == QLatin1String("br") || name == QLatin1String("TP")) {
                endBlock();
                inItem = false;
                if (name == QLatin1String("TP")) {
                    term = true;
                    inItem = true;
                }
            } else if (name == QLatin1String("B") || name == QLatin1String("I")) {
                block += args.join(QLatin1Char(' ')) + QLatin1Char(' ');
                if (term) {
                    endBlock();
                }
            } else if (name.size() == 2 && QStringLiteral("BIR").contains(name[0])
                       && QStringLiteral("BIR").contains(name[1])) {
                block += args.join(QString()) + QLatin1Char(' ');
                if (term) {
                    endBlock();
                }
            }
        }
        endBlock();
    }

    QString allText() const { return prose.join(QLatin1Char(' ')); }
};

/** The help as usage lines, options (term and words) and the sentences of its notes. */
struct Help
{
    QStringList usage;
    std::vector<ManPage::Item> options;
    QStringList sentences;

    explicit Help(const QString& text)
    {
        static const QRegularExpression option(QStringLiteral("^  (-\\S+(?: [A-Z]+)?)\\s{2,}(.*)$"));
        static const QRegularExpression sentenceEnd(QStringLiteral("(?<=\\.)\\s+(?=[A-Z])"));
        QString prose;
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const auto m = option.match(line);
            if (line.startsWith(QLatin1String("Usage: ")) || line.startsWith(QLatin1String("       kelbo-lines"))) {
                usage << simplified(line.mid(7));
            } else if (m.hasMatch()) {
                options.push_back({m.captured(1), m.captured(2)});
            } else if (line.startsWith(QLatin1String("    ")) && !options.empty()) {
                options.back().text += QLatin1Char(' ') + line;
            } else {
                prose += line + QLatin1Char(' ');
            }
        }
        for (auto& o : options) {
            o.text = simplified(o.text);
        }
        sentences = simplified(prose).split(sentenceEnd, Qt::SkipEmptyParts);
    }
};

TEST(KelboLinesManPage, SaysWhatTheHelpSays)
{
    QFile page(kManPage);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << kManPage.toStdString();
    const ManPage man(QString::fromUtf8(page.readAll()));
    QProcess process;
    process.start(kProgram, {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(30000)) << kProgram.toStdString();
    ASSERT_EQ(process.exitCode(), 0);
    const Help help(QString::fromUtf8(process.readAllStandardOutput()));
    ASSERT_EQ(help.usage.size(), 4);
    ASSERT_FALSE(help.options.empty());

    const auto synopsis = man.blocks.find(QStringLiteral("SYNOPSIS"));
    ASSERT_NE(synopsis, man.blocks.end());
    EXPECT_EQ(synopsis->second, help.usage);

    const auto& options = man.items.at(QStringLiteral("OPTIONS"));
    ASSERT_EQ(options.size(), help.options.size());
    for (size_t i = 0; i < options.size(); ++i) {
        EXPECT_EQ(options[i].term, help.options[i].term);
        EXPECT_EQ(options[i].text, help.options[i].text) << help.options[i].term.toStdString();
    }

    const QString text = man.allText();
    for (const QString& sentence : help.sentences) {
        EXPECT_TRUE(text.contains(sentence)) << "not in the manual page: " << sentence.toStdString();
    }
}

// The reader of the page is no yes-man: an option the help lacks, changed words or a missing sentence show.
TEST(KelboLinesManPage, ReaderSeesWhereThePageDiffers)
{
    const QString page
        = QStringLiteral(".SH SYNOPSIS\n.B kelbo-lines\n.RB [ \\-\\-all ]\n.I DIR TABLE\n"
                         ".SH DESCRIPTION\nOne sentence.\nAnother\n.SH OPTIONS\n.TP\n"
                         ".BI \\-\\-ini \" FILE\"\nsettings file\n(KELBO.ini)\n.TP\n.B \\-\\-all\npass\n");
    const ManPage man(page);
    EXPECT_EQ(man.blocks.at(QStringLiteral("SYNOPSIS")), QStringList{QStringLiteral("kelbo-lines [--all] DIR TABLE")});
    ASSERT_EQ(man.items.at(QStringLiteral("OPTIONS")).size(), 2U);
    EXPECT_EQ(man.items.at(QStringLiteral("OPTIONS"))[0].term, QStringLiteral("--ini FILE"));
    EXPECT_EQ(man.items.at(QStringLiteral("OPTIONS"))[0].text, QStringLiteral("settings file (KELBO.ini)"));
    EXPECT_EQ(man.items.at(QStringLiteral("OPTIONS"))[1].text, QStringLiteral("pass"));
    EXPECT_EQ(man.allText(), QStringLiteral("kelbo-lines [--all] DIR TABLE One sentence. Another"));

    const Help help(QStringLiteral("Usage: kelbo-lines [--all] DIR\n\nFirst one. Second\none.\n\n"
                                   "  --ini FILE   settings\n               file\n  --all        pass\n"));
    EXPECT_EQ(help.usage, QStringList{QStringLiteral("kelbo-lines [--all] DIR")});
    ASSERT_EQ(help.options.size(), 2U);
    EXPECT_EQ(help.options[0].text, QStringLiteral("settings file"));
    EXPECT_EQ(help.sentences, (QStringList{QStringLiteral("First one."), QStringLiteral("Second one.")}));
}

} // namespace
