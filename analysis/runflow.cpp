// The path from a FASTA file to a drawn map: choosing the file (with a
// proposed window and step), and the run that validates the step, reads the
// file, computes every record's windows, fills the result fields and draws
// the selected map. Failures end the run with the fixed message of the
// stage they occurred in.
#include "analysis/fasta.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "window/quillet.h"

namespace quillet {

namespace {
const QString kValidationMessage = QStringLiteral("1 to 1000000 is valid");
const QString kFileMessage = QStringLiteral("The Fasta file doesn't exist.");
const QString kAnalysisMessage = QStringLiteral("Windows size is bigger than the length of sequence.");

// Puts the default pointer back on every way out of a handler.
struct NormalPointerOnExit {
    Quillet* window;
    ~NormalPointerOnExit() { window->SetMousePointer(0); }
};
} // namespace

void Quillet::Command_open_Click()
{
    try {
        CommonDialog1->Flags = 0x81000;
        CommonDialog1->Filter = QStringLiteral("fas Files (*.fas)|*.fas|fasta Files (*.fasta)|*.fasta|All Files (*.*)|*.*");
        CommonDialog1->FileName = QString();
        CommonDialog1->InitDir = dataFolder();
        CommonDialog1->DialogTitle = QStringLiteral("Open DNA data in FASTA format");
        CommonDialog1->ShowOpen();
        Text1->SetText(CommonDialog1->FileName);
        if (Text1->Text().isEmpty())
            return;
        Command_run->setFocus();
        const auto length = FileLength(Text1->Text());
        if (!length)
            return;
        const Proposal p = ProposeParameters(*length);
        Text_Step->SetText(p.step);
        Text_WS->SetText(p.window);
    } catch (const std::exception&) {
        // Open ends silently; what was set before the failure stays.
    }
}

void Quillet::Command_run_Click()
{
    SetMousePointer(11);
    NormalPointerOnExit normalPointer{this};

    Picture1->Surface().Cls();
    Picture1->Inside()->update();
    Text5->SetText(QString());
    Label4->SetCaption(QString());
    Label6->SetCaption(QString());
    ProgressBar1->SetValue(0);
    repaint();

    enum class Stage { Validation, File, Analysis } stage = Stage::Validation;
    try {
        const QString stepText = Text_Step->Text();
        const auto stepNumber = ReadNumber(stepText);
        if (stepText.isEmpty() || !stepNumber || !(*stepNumber > 0)) {
            MsgBox(kValidationMessage);
            return;
        }

        stage = Stage::File;
        auto content = ReadWholeFile(Text1->Text());
        if (!content)
            throw Failure("The file cannot be read.");
        DecodeMarkedUtf16(*content);

        FastaReader reader(*content);
        FastaRecord record;
        FastaProblem problem = FastaProblem::None;
        while (reader.next(record, problem)) {
            if (problem != FastaProblem::None)
                throw Failure("A record has no header line.");
            stage = Stage::Analysis;
            const QString windowText = Text_WS->Text();
            const QString stepTextNow = Text_Step->Text();
            const int32_t step = ToInt32(stepTextNow);
            const int32_t windowSize = ToInt32(windowText);
            CalcWindows(record.sequence, windowSize, step);
            computedStepText = stepTextNow;
            computedWindowText = windowText;

            Text5->SetText(record.name);
            Label6->SetCaption(FormatInteger(int64_t(record.sequence.size())));
            Label4->SetCaption(FormatSingle(AvgGC));

            if (Combo1->ListIndex() == 0) {
                DrawGCMap(GCValues, 0);
                VScroll1->SetMin(0);
                VScroll1->SetMax(4);
                VScroll1->SetValue(2);
            } else {
                DrawSkewMap(SkewValues, 20);
                VScroll1->SetMin(0);
                VScroll1->SetMax(1);
                VScroll1->SetValue(0);
            }
        }
    } catch (const std::exception&) {
        switch (stage) {
        case Stage::Validation:
            MsgBox(kValidationMessage);
            break;
        case Stage::File:
            MsgBox(kFileMessage);
            break;
        case Stage::Analysis:
            MsgBox(kAnalysisMessage);
            break;
        }
    }
}

void Quillet::Text_Step_KeyUp(int16_t keyCode, int16_t /*shift*/)
{
    if (keyCode == 13)
        Command_run_Click();
}

void Quillet::Text_WS_KeyUp(int16_t keyCode, int16_t /*shift*/)
{
    if (keyCode == 13)
        Command_run_Click();
}

} // namespace quillet
