#include "ui/main/MainControls.h"

#include "shell/LineSpeeds.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <iterator>
#include <string_view>
#include <type_traits>

namespace MainControls {

namespace {

using EditRules::Choice;
using EditRules::Number;
using EditRules::Switch;

template <auto Member> void To(frmMain& window, QObject* control) {
    using Pointer = std::remove_reference_t<decltype(window.*Member)>;
    window.*Member = qobject_cast<Pointer>(control);
    Q_ASSERT(window.*Member);
}

template <auto Member, size_t Index> void ToElement(frmMain& window, QObject* control) {
    using Pointer = typename std::remove_reference_t<decltype(window.*Member)>::value_type;
    (window.*Member)[Index] = qobject_cast<Pointer>(control);
    Q_ASSERT((window.*Member)[Index]);
}

void Unbound(frmMain&, QObject*) {}

// clang-format off
#define QMX_ONE(member)       #member, To<&frmMain::member>, 0
#define QMX_AT(member, index) #member "(" #index ")", ToElement<&frmMain::member, index>, index
#define QMX_PAGE(index)       "MainTab(" #index ")", Unbound, index
// Controls no code names: the table alone knows them.
#define QMX_NAME(name)           #name, Unbound, 0
#define QMX_NAME_AT(name, index) #name "(" #index ")", Unbound, index

const ControlRow kControls[] = {
    // Controller operation column
    {QMX_ONE(InfoFrame), Kind::Frame, "ClientArea", {120, 240, 3135, 5535},
     {"QMX-001 操作", "QMX-001 OPERATION"}},
    {QMX_AT(infoLabel, 0), Kind::InfoLabel, "InfoFrame", {150, 420, 1230, 330},
     {"シリアル番号", "Serial No."}},
    {QMX_AT(infoLabel, 3), Kind::ValueLabel, "InfoFrame", {1380, 420, 1605, 330},
     {"----------", nullptr}},
    {QMX_AT(infoLabel, 1), Kind::InfoLabel, "InfoFrame", {150, 870, 1230, 330},
     {"Version", nullptr}},
    {QMX_AT(infoLabel, 4), Kind::ValueLabel, "InfoFrame", {1380, 870, 1605, 330},
     {"-.--", nullptr}},
    {QMX_AT(infoLabel, 2), Kind::InfoLabel, "InfoFrame", {150, 1320, 1230, 330},
     {"Revision", nullptr}},
    {QMX_AT(infoLabel, 5), Kind::ValueLabel, "InfoFrame", {1380, 1320, 1605, 330},
     {"---", nullptr}},
    {QMX_AT(infoLabel, 6), Kind::InfoLabel, "InfoFrame", {150, 1770, 1230, 330},
     {"Build Date", nullptr}},
    {QMX_AT(infoLabel, 7), Kind::ValueLabel, "InfoFrame", {1380, 1770, 1605, 330},
     {"------", nullptr}},
    {QMX_NAME(Line1), Kind::Line, "InfoFrame", {120, 2280, 2895, 30}},
    {QMX_ONE(Shape), Kind::Lamp, "InfoFrame", {240, 2580, 495, 495}},
    {QMX_NAME(Line2), Kind::Line, "InfoFrame", {735, 2813, 225, 30}},
    {QMX_ONE(CmdConnect), Kind::Button, "InfoFrame", {960, 2520, 2055, 615},
     {"接続", "CONNECT"}},
    {QMX_ONE(CmdLoad), Kind::Button, "InfoFrame", {960, 3300, 2055, 615},
     {"設定値読出", "LOAD"}},
    {QMX_ONE(CmdStore), Kind::Button, "InfoFrame", {960, 4080, 2055, 615},
     {"設定値書込", "STORE"}},
    {QMX_ONE(ProgressBar), Kind::Progress, "InfoFrame", {120, 4950, 2895, 330},
     {}, {"通信の進行状況", "Exchange progress"}},
    {QMX_ONE(CmdInit), Kind::Button, "ClientArea", {1080, 6000, 2175, 615},
     {"設定値初期化", "INITIALIZED DEFAULT"}},
    {QMX_ONE(MainTab), Kind::Tabs, "ClientArea", {3360, 120, 6735, 6495},
     {}, {"設定ページ", "Settings pages"}},
    {QMX_PAGE(0), Kind::Page, "MainTab", {0, 0, 0, 0},
     {"基本設定", "BASIC 1/2"}},
    {QMX_PAGE(1), Kind::Page, "MainTab", {0, 0, 0, 0},
     {"基本設定２", "BASIC 2/2"}},
    {QMX_PAGE(2), Kind::Page, "MainTab", {0, 0, 0, 0},
     {"通信設定", "COM PORT"}},
    {QMX_PAGE(3), Kind::Page, "MainTab", {0, 0, 0, 0},
     {"拡張設定１", "EXTEND 1/2"}},
    {QMX_PAGE(4), Kind::Page, "MainTab", {0, 0, 0, 0},
     {"拡張設定２", "EXTEND 2/2"}},
    // Page 0. DummyFrame1 runs wider than 1500 for the step captions in the stand-in fonts.
    {QMX_ONE(RunFrame), Kind::PageFrame, "MainTab(0)", {240, 480, 6255, 1215},
     {"動作条件設定", "BASIC CONDITION"}},
    {QMX_ONE(DummyFrame2), Kind::Borderless, "RunFrame", {120, 280, 2000, 800},
     {}, {"ステージの種類", "Stage type"}},
    {QMX_AT(StageMode, 0), Kind::Option, "DummyFrame2", {120, 60, 1880, 300},
     {"直動ステージ", "Translation stage"},
     {"動作条件設定, 直動ステージ", "BASIC CONDITION, Translation stage"},
     {},
     Chooses(Choice::StageType),
     {"使用するステージを直動ステージ（直線に動くステージ）として設定します。",
      "The stage is a translation stage, one that moves along a straight line."}},
    {QMX_AT(StageMode, 1), Kind::Option, "DummyFrame2", {120, 420, 1880, 300},
     {"回転ステージ", "Rotation stage"},
     {"動作条件設定, 回転ステージ", "BASIC CONDITION, Rotation stage"},
     {},
     Chooses(Choice::StageType),
     {"使用するステージを回転ステージとして設定します。",
      "The stage is a rotation stage."}},
    {QMX_AT(DirOption, 0), Kind::Option, "RunFrame", {2400, 340, 1300, 300},
     {"正転", "Normal"},
     {"動作条件設定, 回転方向, 正転", "BASIC CONDITION, Direction, Normal"},
     {},
     Chooses(Choice::Direction),
     {"モータを標準の方向に回転させます。",
      "The motor turns in its normal direction."}},
    {QMX_AT(DirOption, 1), Kind::Option, "RunFrame", {2400, 700, 1300, 300},
     {"逆転", "Reverse"},
     {"動作条件設定, 回転方向, 逆転", "BASIC CONDITION, Direction, Reverse"},
     {},
     Chooses(Choice::Direction),
     {"モータの回転方向を標準とは逆にします。",
      "The motor turns in the reverse of its normal direction."}},
    {QMX_ONE(DummyFrame1), Kind::Borderless, "RunFrame", {3800, 280, 1860, 800},
     {}, {"駆動方式", "Step drive"}},
    {QMX_AT(SplitOption, 0), Kind::Option, "DummyFrame1", {60, 60, 1800, 300},
     {"Half Step 駆動", "Half step drive"},
     {"動作条件設定, Half Step 駆動", "BASIC CONDITION, Half step drive"},
     {},
     Chooses(Choice::StepMode),
     {"ハーフステップ駆動：1パルスごとに基本ステップ角の半分だけ回転します。",
      "Half-step drive: each pulse turns the motor by half its basic step angle."}},
    {QMX_AT(SplitOption, 1), Kind::Option, "DummyFrame1", {60, 420, 1800, 300},
     {"Full Step 駆動", "Full step drive"},
     {"動作条件設定, Full Step 駆動", "BASIC CONDITION, Full step drive"},
     {},
     Chooses(Choice::StepMode),
     {"フルステップ駆動：1パルスごとに基本ステップ角だけ回転します。",
      "Full-step drive: each pulse turns the motor by its full basic step angle."}},
    {QMX_NAME(OrgFrame), Kind::PageFrame, "MainTab(0)", {240, 1920, 6255, 1215},
     {"原点復帰設定", "ORIGIN MODE"}},
    {QMX_AT(OrgModeOption, 0), Kind::Option, "OrgFrame", {240, 340, 2200, 300},
     {"MINIモード", "MINI SYSTEM"},
     {"原点復帰設定, MINIモード", "ORIGIN MODE, MINI SYSTEM"},
     {},
     Chooses(Choice::OriginMode),
     {"MINIモードで原点復帰します。原点の位置は原点オフセットで調整できます。",
      "Origin return by the MINI system. The origin can be shifted with OFFSET of ORIGIN."}},
    {QMX_AT(OrgModeOption, 1), Kind::Option, "OrgFrame", {240, 700, 2200, 300},
     {"LS間中央モード", "CENTER SYSTEM"},
     {"原点復帰設定, LS間中央モード", "ORIGIN MODE, CENTER SYSTEM"},
     {},
     Chooses(Choice::OriginMode),
     {"両側のリミットセンサの中央を原点とします。"
      "このモードでは原点オフセットは設定できません。",
      "The origin is the centre between the two limit sensors. OFFSET of ORIGIN cannot be "
      "set in this system."}},
    {QMX_AT(OrgLabel, 0), Kind::Label, "OrgFrame", {2640, 540, 1700, 300},
     {"原点オフセット", "OFFSET of ORIGIN"}},
    {QMX_ONE(OrgOffsetText), Kind::NumberBox, "OrgFrame", {4380, 495, 1635, 390},
     {},
     {"原点復帰設定, 原点オフセット", "ORIGIN MODE, OFFSET of ORIGIN"},
     {"-1000～16777215", "-1000 to 16777215"},
     Shows(Number::OriginOffset),
     {"原点の位置をずらす量です。-1000～16777215の整数で、MINIモードのときだけ設定できます。",
      "Offset of the origin, a whole number from -1000 to 16777215. It can be set only in "
      "the MINI system."}},
    {QMX_ONE(MotorFrame), Kind::PageFrame, "MainTab(0)", {240, 3360, 6255, 2895},
     {"モータ電流設定", "MOTOR CURRENT"}},
    {QMX_NAME_AT(MotorLabel, 0), Kind::Label, "MotorFrame", {240, 450, 1560, 300},
     {"駆動(RUN)電流", "RUN CURRENT"}},
    {QMX_AT(MotorInfo, 0), Kind::NumberLabel, "MotorFrame", {1800, 420, 690, 360},
     {}, {}, {}, Shows(Number::RunCurrent)},
    {QMX_NAME_AT(MotorLabel, 2), Kind::Label, "MotorFrame", {2550, 450, 360, 300},
     {"mA", nullptr}},
    {QMX_AT(MotorSlider, 0), Kind::Slider, "MotorFrame", {3000, 390, 3015, 420},
     {},
     {"モータ電流設定, 駆動(RUN)電流, mA", "MOTOR CURRENT, RUN, mA"},
     {"100～799 mA、停止電流以上", "100 to 799 mA, not below the stop current"},
     Moves(Number::RunCurrent),
     {"モータが回転しているときに流す電流です。100～799 mAで、停止電流より低くはできません。",
      "Current through the motor while it runs, 100 to 799 mA. It cannot be set below the "
      "stop current."}},
    {QMX_NAME_AT(MotorLabel, 1), Kind::Label, "MotorFrame", {240, 1050, 1560, 300},
     {"停止(STOP)電流", "STOP CURRENT"}},
    {QMX_AT(MotorInfo, 1), Kind::NumberLabel, "MotorFrame", {1800, 1020, 690, 360},
     {}, {}, {}, Shows(Number::StopCurrent)},
    {QMX_NAME_AT(MotorLabel, 3), Kind::Label, "MotorFrame", {2550, 1050, 360, 300},
     {"mA", nullptr}},
    {QMX_AT(MotorSlider, 1), Kind::Slider, "MotorFrame", {3000, 990, 3015, 420},
     {},
     {"モータ電流設定, 停止(STOP)電流, mA", "MOTOR CURRENT, STOP, mA"},
     {"100～799 mA、駆動電流以下", "100 to 799 mA, not above the run current"},
     Moves(Number::StopCurrent),
     {"停止中にモータを保持するための電流です。100～799 mAで、"
      "駆動電流を超えることはできません。",
      "Current that holds the motor at standstill, 100 to 799 mA. It never exceeds the run "
      "current."}},
    {QMX_NAME(Line3), Kind::Line, "MotorFrame", {120, 1620, 6015, 30}},
    {QMX_AT(MotorCmd, 0), Kind::PresetButton, "MotorFrame", {90, 1860, 1980, 600},
     {"駆動電流 350mA", "RUN CURRENT 350mA"},
     {"モータ電流設定, 駆動電流 350mA", "MOTOR CURRENT, RUN CURRENT 350mA"},
     {},
     Presets(),
     {"駆動電流を350 mA、停止電流をその半分の175 mAにします。駆動電流がすでに350 "
      "mAのときは何も変えません。",
      "Sets the run current to 350 mA and the stop current to half of it, 175 mA. Changes "
      "nothing when the run current is already 350 mA."}},
    {QMX_AT(MotorCmd, 1), Kind::PresetButton, "MotorFrame", {2130, 1860, 1980, 600},
     {"駆動電流 660mA", "RUN CURRENT 660mA"},
     {"モータ電流設定, 駆動電流 660mA", "MOTOR CURRENT, RUN CURRENT 660mA"},
     {},
     Presets(),
     {"駆動電流を660 mA、停止電流をその半分の330 mAにします。駆動電流がすでに660 "
      "mAのときは何も変えません。",
      "Sets the run current to 660 mA and the stop current to half of it, 330 mA. Changes "
      "nothing when the run current is already 660 mA."}},
    {QMX_AT(MotorCmd, 2), Kind::PresetButton, "MotorFrame", {4170, 1860, 1980, 600},
     {"駆動電流 750mA", "RUN CURRENT 750mA"},
     {"モータ電流設定, 駆動電流 750mA", "MOTOR CURRENT, RUN CURRENT 750mA"},
     {},
     Presets(),
     {"駆動電流を750 mA、停止電流をその半分の375 mAにします。駆動電流がすでに750 "
      "mAのときは何も変えません。",
      "Sets the run current to 750 mA and the stop current to half of it, 375 mA. Changes "
      "nothing when the run current is already 750 mA."}},
    // Page 1
    {QMX_NAME(JogFrame), Kind::PageFrame, "MainTab(1)", {240, 480, 6255, 1455},
     {"ジョグ動作設定", "JOG OPERATION"}},
    {QMX_NAME(JogCheck), Kind::Check, "JogFrame", {240, 360, 5800, 300},
     {"ジョグスイッチ／外部ジョグ動作有効", "ENABLE JOG SW/SIGNAL"},
     {"ジョグ動作設定, ジョグスイッチ／外部ジョグ動作有効", "JOG OPERATION, ENABLE JOG SW/SIGNAL"},
     {},
     Ticks(Switch::JogInput),
     {"ジョグスイッチと外部ジョグ信号による動作を有効にします。チェックを外すと、"
      "どちらも無効になります。",
      "Enables the jog switch and the external jog signal. When cleared, both are ignored."}},
    {QMX_NAME_AT(JogLabel, 0), Kind::Label, "JogFrame", {240, 870, 2100, 300},
     {"ジョグ動作速度", "JOG SPEED"}},
    {QMX_NAME(JogSpeedText), Kind::NumberBox, "JogFrame", {2400, 825, 1500, 390},
     {},
     {"ジョグ動作設定, ジョグ動作速度, pps", "JOG OPERATION, JOG SPEED, pps"},
     {"100～30000 pps、100単位", "100 to 30000 pps, in hundreds"},
     Shows(Number::JogSpeed),
     {"ジョグ動作の速度です。100～30000 PPS（パルス/秒）で100単位に丸められます。変更すると、"
      "ジョグの速度SとFがこの値に、加減速時間が0になります。",
      "Jog speed, 100 to 30000 pulses per second (PPS), rounded to hundreds. A new value "
      "sets the jog speeds S and F to it and the jog acceleration time to 0."}},
    {QMX_NAME_AT(JogLabel, 1), Kind::Label, "JogFrame", {4020, 870, 600, 300},
     {"PPS", nullptr}},
    {QMX_ONE(LSSetupFrame), Kind::PageFrame, "MainTab(1)", {240, 2160, 6255, 1815},
     {"リミットセンサ設定", "LIMIT SENSOR SET UP"}},
    {QMX_AT(LSFrame, 0), Kind::Frame, "LSSetupFrame", {240, 360, 2800, 1215},
     {"LS(+) 設定", "LS(+) CONDITION"}},
    {QMX_AT(LSOption, 0), Kind::Option, "LSFrame(0)", {240, 380, 2460, 300},
     {"Normal Close 設定", "Normal Close"},
     {"LS(+) 設定, Normal Close", "LS(+), Normal Close"},
     {},
     Chooses(Choice::LimitSensorLogic),
     {"＋側リミットセンサ LS(+) はノーマルクローズです（通常は接点が閉じ、"
      "検出すると開きます）。",
      "The plus-side limit sensor LS(+) is normally closed: its contact opens when the "
      "sensor is reached."}},
    {QMX_AT(LSOption, 1), Kind::Option, "LSFrame(0)", {240, 740, 2460, 300},
     {"Normal Open 設定", "Normal Open"},
     {"LS(+) 設定, Normal Open", "LS(+), Normal Open"},
     {},
     Chooses(Choice::LimitSensorLogic),
     {"＋側リミットセンサ LS(+) はノーマルオープンです（通常は接点が開き、"
      "検出すると閉じます）。",
      "The plus-side limit sensor LS(+) is normally open: its contact closes when the sensor "
      "is reached."}},
    {QMX_AT(LSFrame, 1), Kind::Frame, "LSSetupFrame", {3240, 360, 2800, 1215},
     {"LS(-) 設定", "LS(-) CONDITION"}},
    {QMX_AT(LSOption, 2), Kind::Option, "LSFrame(1)", {240, 380, 2460, 300},
     {"Norlmal Close 設定", "Normal Close"},
     {"LS(-) 設定, Normal Close", "LS(-), Normal Close"},
     {},
     Chooses(Choice::LimitSensorLogic),
     {"－側リミットセンサ LS(-) はノーマルクローズです（通常は接点が閉じ、"
      "検出すると開きます）。",
      "The minus-side limit sensor LS(-) is normally closed: its contact opens when the "
      "sensor is reached."}},
    {QMX_AT(LSOption, 3), Kind::Option, "LSFrame(1)", {240, 740, 2460, 300},
     {"Normal Open 設定", "Normal Open"},
     {"LS(-) 設定, Normal Open", "LS(-), Normal Open"},
     {},
     Chooses(Choice::LimitSensorLogic),
     {"－側リミットセンサ LS(-) はノーマルオープンです（通常は接点が開き、"
      "検出すると閉じます）。",
      "The minus-side limit sensor LS(-) is normally open: its contact closes when the "
      "sensor is reached."}},
    {QMX_NAME(EmgStopFrame), Kind::PageFrame, "MainTab(1)", {240, 4200, 6255, 855},
     {"非常停止設定", "EMG-STOP OPERATION"}},
    {QMX_ONE(EmgPowerCheck), Kind::Check, "EmgStopFrame", {240, 380, 5800, 300},
     {"非常停止時に励磁をOFFにする", "ENABLE MOTOR FREE"},
     {"非常停止設定, 非常停止時に励磁をOFFにする", "EMG-STOP OPERATION, ENABLE MOTOR FREE"},
     {},
     Ticks(Switch::MotorFreeAtEmergencyStop),
     {"チェックすると、非常停止時にモータの励磁を切ります（モータフリー）。"
      "チェックしないと励磁を保ちます。",
      "When ticked, the motor is de-energised at an emergency stop (motor free); when "
      "cleared, it stays excited."}},
    // Page 2
    {QMX_ONE(ComSpeedFrame), Kind::PageFrame, "MainTab(2)", {240, 480, 2895, 1935},
     {"通信速度", "BAUD RATE"}},
    {QMX_AT(ComSpeedOption, 0), Kind::Option, "ComSpeedFrame", {360, 360, 1800, 300},
     {kLineSpeeds[0].caption, nullptr},
     {"通信速度, 4800 bps", "BAUD RATE, 4800 bps"},
     {},
     Chooses(Choice::LineSpeed),
     {"コントローラ自身のシリアル通信速度を4800 bpsにします。"
      "このプログラムが使う通信速度は［ツール］の［オプション］で設定します。",
      "The controller's own serial line runs at 4800 bit/s. The speed this program uses is "
      "chosen in Tools > Options."}},
    {QMX_AT(ComSpeedOption, 1), Kind::Option, "ComSpeedFrame", {360, 720, 1800, 300},
     {kLineSpeeds[1].caption, nullptr},
     {"通信速度, 9600 bps", "BAUD RATE, 9600 bps"},
     {},
     Chooses(Choice::LineSpeed),
     {"コントローラ自身のシリアル通信速度を9600 bpsにします。"
      "このプログラムが使う通信速度は［ツール］の［オプション］で設定します。",
      "The controller's own serial line runs at 9600 bit/s. The speed this program uses is "
      "chosen in Tools > Options."}},
    {QMX_AT(ComSpeedOption, 2), Kind::Option, "ComSpeedFrame", {360, 1080, 1800, 300},
     {kLineSpeeds[2].caption, nullptr},
     {"通信速度, 19200 bps", "BAUD RATE, 19200 bps"},
     {},
     Chooses(Choice::LineSpeed),
     {"コントローラ自身のシリアル通信速度を19200 bpsにします。"
      "このプログラムが使う通信速度は［ツール］の［オプション］で設定します。",
      "The controller's own serial line runs at 19200 bit/s. The speed this program uses is "
      "chosen in Tools > Options."}},
    {QMX_AT(ComSpeedOption, 3), Kind::Option, "ComSpeedFrame", {360, 1440, 1800, 300},
     {kLineSpeeds[3].caption, nullptr},
     {"通信速度, 38400 bps", "BAUD RATE, 38400 bps"},
     {},
     Chooses(Choice::LineSpeed),
     {"コントローラ自身のシリアル通信速度を38400 bpsにします。"
      "このプログラムが使う通信速度は［ツール］の［オプション］で設定します。",
      "The controller's own serial line runs at 38400 bit/s. The speed this program uses is "
      "chosen in Tools > Options."}},
    {QMX_NAME(ComFlowFrame), Kind::PageFrame, "MainTab(2)", {3480, 480, 3015, 855},
     {"フロー制御", "FLOW CONTROL"}},
    {QMX_NAME(ComFlowCheck), Kind::Check, "ComFlowFrame", {240, 380, 2700, 300},
     {"フロー制御有効", "ENABLE FLOW CONTROL"},
     {"フロー制御, フロー制御有効", "FLOW CONTROL, ENABLE FLOW CONTROL"},
     {},
     Ticks(Switch::FlowControl),
     {"コントローラのシリアル通信でフロー制御を使います。",
      "The controller's serial line uses flow control."}},
    // Page 3
    {QMX_NAME(PowerUpFrame), Kind::PageFrame, "MainTab(3)", {240, 480, 6255, 1215},
     {"励磁動作設定", "MOTOR EXCITATION SET UP"}},
    {QMX_NAME(PowerUpCheck), Kind::Check, "PowerUpFrame", {240, 360, 5800, 300},
     {"起動時に励磁する", "EXCITATION AT START-UP"},
     {"励磁動作設定, 起動時に励磁する", "MOTOR EXCITATION SET UP, EXCITATION AT START-UP"},
     {},
     Ticks(Switch::ExcitationAtStartUp),
     {"コントローラの電源を入れたときにモータを励磁します。",
      "The motor is excited as soon as the controller is powered up."}},
    {QMX_NAME(AutoPowerCheck), Kind::Check, "PowerUpFrame", {240, 720, 5800, 300},
     {"励磁ONを自動的に行なう", "AUTOMATIC MOTOR LOCK"},
     {"励磁動作設定, 励磁ONを自動的に行なう", "MOTOR EXCITATION SET UP, AUTOMATIC MOTOR LOCK"},
     {},
     Ticks(Switch::AutomaticExcitation),
     {"モータの励磁（モータロック）を自動的にONにします。",
      "Switches the motor's excitation (motor lock) on automatically."}},
    {QMX_NAME(ExtLSFrame), Kind::PageFrame, "MainTab(3)", {240, 1900, 6255, 1215},
     {"拡張リミットセンサ設定", "EXTENDED LIMIT SENSOR SET UP"}},
    {QMX_AT(ExtLSCheck, 0), Kind::Check, "ExtLSFrame", {240, 360, 5800, 300},
     {"LS(+) 有効", "ENABLE LS(+)"},
     {"拡張リミットセンサ設定, LS(+) 有効", "EXTENDED LIMIT SENSOR SET UP, ENABLE LS(+)"},
     {},
     Ticks(Switch::LimitSensorPlusUsed),
     {"＋側リミットセンサ LS(+) を使います。チェックを外すと使いません。"
      "再び使うときはノーマルクローズから始まります。",
      "Uses the plus-side limit sensor LS(+). When cleared, it is not used; taken back into "
      "use, it starts as normally closed."}},
    {QMX_AT(ExtLSCheck, 1), Kind::Check, "ExtLSFrame", {240, 720, 5800, 300},
     {"LS(-) 有効", "ENABLE LS(-)"},
     {"拡張リミットセンサ設定, LS(-) 有効", "EXTENDED LIMIT SENSOR SET UP, ENABLE LS(-)"},
     {},
     Ticks(Switch::LimitSensorMinusUsed),
     {"－側リミットセンサ LS(-) を使います。チェックを外すと使いません。"
      "再び使うときはノーマルクローズから始まります。",
      "Uses the minus-side limit sensor LS(-). When cleared, it is not used; taken back into "
      "use, it starts as normally closed."}},
    {QMX_NAME(JDialFrame), Kind::PageFrame, "MainTab(3)", {240, 3360, 6255, 1575},
     {"ジョグダイヤル設定", "OPTION Extend JOG Dial"}},
    {QMX_NAME(ExtJDialCheck), Kind::Check, "JDialFrame", {240, 360, 5800, 300},
     {"外部ジョグダイヤルを使用する", "Enable JOG Dial"},
     {"ジョグダイヤル設定, 外部ジョグダイヤルを使用する", "OPTION Extend JOG Dial, Enable JOG Dial"},
     {},
     Ticks(Switch::JogDial),
     {"外部ジョグダイヤルを使います。1ステップで動くパルス数は下の欄で設定します。",
      "An external jog dial is used; the pulses it moves per step are set below."}},
    {QMX_AT(ExtJdialLabel, 0), Kind::Label, "JDialFrame", {480, 900, 2400, 300},
     {"ジョグダイヤルパルス数", "execute pulse"}},
    {QMX_ONE(ExtJDialPulse), Kind::NumberBox, "JDialFrame", {2940, 855, 1300, 390},
     {},
     {"ジョグダイヤル設定, ジョグダイヤルパルス数, パルス", "OPTION Extend JOG Dial, execute pulse, pulses"},
     {"1～9999 パルス", "1 to 9999 pulses"},
     Shows(Number::JogDialPulses),
     {"ジョグダイヤル1ステップあたりに動くパルス数です。1～9999パルスで、"
      "ジョグダイヤルを使うときだけ設定できます。",
      "Pulses moved per step of the jog dial, 1 to 9999. It can be set only while the jog "
      "dial is used."}},
    {QMX_AT(ExtJdialLabel, 1), Kind::Label, "JDialFrame", {4360, 900, 900, 300},
     {"パルス", "PULSE"}},
    // Page 4: three speed frames of one layout (S, F, acceleration time)
    {QMX_NAME(DefSpeedFrame), Kind::PageFrame, "MainTab(4)", {240, 480, 6255, 1815},
     {"速度初期値設定", "DEFAULT SPEED"}},
    {QMX_NAME_AT(DefSpeedLabel, 0), Kind::Label, "DefSpeedFrame", {240, 405, 3300, 300},
     {"運転速度S", "MINIMUN FREQUENCY RATE (S)"}},
    {QMX_AT(DefSpeedText, 0), Kind::NumberBox, "DefSpeedFrame", {3600, 360, 1500, 390},
     {},
     {"速度初期値設定, 運転速度S, pps", "DEFAULT SPEED, S, pps"},
     {"100～F pps、100単位", "100 to F pps, in hundreds"},
     Shows(Number::DefaultS),
     {"初期値の速度で移動するときの開始速度（最小周波数）Sです。100～30000 PPS（パルス/秒）"
      "で100単位に丸められ、速度Fを超えることはできません。",
      "Start speed S (minimum frequency) of moves at the default speed: 100 to 30000 pulses "
      "per second (PPS), rounded to hundreds; never above speed F."}},
    {QMX_NAME_AT(DefSpeedLabel, 3), Kind::Label, "DefSpeedFrame", {5220, 405, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(DefSpeedLabel, 1), Kind::Label, "DefSpeedFrame", {240, 885, 3300, 300},
     {"運転速度F", "MAXIMUN FREQUENCY RATE (F)"}},
    {QMX_AT(DefSpeedText, 1), Kind::NumberBox, "DefSpeedFrame", {3600, 840, 1500, 390},
     {},
     {"速度初期値設定, 運転速度F, pps", "DEFAULT SPEED, F, pps"},
     {"S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
     Shows(Number::DefaultF),
     {"初期値の速度で移動するときの最高速度（最大周波数）Fです。速度S～30000 PPS（パルス/秒）"
      "で、100単位に丸められます。",
      "Maximum speed F (maximum frequency) of moves at the default speed: from speed S up to "
      "30000 pulses per second (PPS), rounded to hundreds."}},
    {QMX_NAME_AT(DefSpeedLabel, 4), Kind::Label, "DefSpeedFrame", {5220, 885, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(DefSpeedLabel, 2), Kind::Label, "DefSpeedFrame", {240, 1365, 3300, 300},
     {"加減速時間", "ACCELERATION TIME"}},
    {QMX_AT(DefSpeedText, 2), Kind::NumberBox, "DefSpeedFrame", {3600, 1320, 1500, 390},
     {},
     {"速度初期値設定, 加減速時間, ms", "DEFAULT SPEED, ACCELERATION TIME, ms"},
     {"0～1000 ms", "0 to 1000 ms"},
     Shows(Number::DefaultTime),
     {"初期値の速度で移動するときの、速度SからFまでの加速時間とFからSまでの減速時間です。"
      "0～1000 ms。",
      "Time to speed up from S to F and to slow down from F to S in moves at the default "
      "speed: 0 to 1000 ms."}},
    {QMX_NAME_AT(DefSpeedLabel, 5), Kind::Label, "DefSpeedFrame", {5220, 1365, 720, 300},
     {"mS", nullptr}},
    {QMX_NAME(DefORGSpeedFrame), Kind::PageFrame, "MainTab(4)", {240, 2480, 6255, 1815},
     {"ORG速度初期値設定", "ORG SPEED"}},
    {QMX_NAME_AT(OrgSpeedLabel, 0), Kind::Label, "DefORGSpeedFrame", {240, 405, 3300, 300},
     {"運転速度S", "MINIMUN FREQUENCY RATE (S)"}},
    {QMX_NAME_AT(OrgSpeedText, 0), Kind::NumberBox, "DefORGSpeedFrame", {3600, 360, 1500, 390},
     {},
     {"ORG速度初期値設定, 運転速度S, pps", "ORG SPEED, S, pps"},
     {"100～F pps、100単位", "100 to F pps, in hundreds"},
     Shows(Number::OriginS),
     {"原点復帰の開始速度（最小周波数）Sです。100～30000 PPS（パルス/秒）"
      "で100単位に丸められ、速度Fを超えることはできません。",
      "Start speed S (minimum frequency) of the origin return: 100 to 30000 pulses per "
      "second (PPS), rounded to hundreds; never above speed F."}},
    {QMX_NAME_AT(OrgSpeedLabel, 3), Kind::Label, "DefORGSpeedFrame", {5220, 405, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(OrgSpeedLabel, 1), Kind::Label, "DefORGSpeedFrame", {240, 885, 3300, 300},
     {"運転速度F", "MAXIMUN FREQUENCY RATE (F)"}},
    {QMX_NAME_AT(OrgSpeedText, 1), Kind::NumberBox, "DefORGSpeedFrame", {3600, 840, 1500, 390},
     {},
     {"ORG速度初期値設定, 運転速度F, pps", "ORG SPEED, F, pps"},
     {"S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
     Shows(Number::OriginF),
     {"原点復帰の最高速度（最大周波数）Fです。速度S～30000 PPS（パルス/秒）で、"
      "100単位に丸められます。",
      "Maximum speed F (maximum frequency) of the origin return: from speed S up to 30000 "
      "pulses per second (PPS), rounded to hundreds."}},
    {QMX_NAME_AT(OrgSpeedLabel, 4), Kind::Label, "DefORGSpeedFrame", {5220, 885, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(OrgSpeedLabel, 2), Kind::Label, "DefORGSpeedFrame", {240, 1365, 3300, 300},
     {"加減速時間", "ACCELERATION TIME"}},
    {QMX_NAME_AT(OrgSpeedText, 2), Kind::NumberBox, "DefORGSpeedFrame", {3600, 1320, 1500, 390},
     {},
     {"ORG速度初期値設定, 加減速時間, ms", "ORG SPEED, ACCELERATION TIME, ms"},
     {"0～1000 ms", "0 to 1000 ms"},
     Shows(Number::OriginTime),
     {"原点復帰の、速度SからFまでの加速時間とFからSまでの減速時間です。0～1000 ms。",
      "Time to speed up from S to F and to slow down from F to S in the origin return: 0 to "
      "1000 ms."}},
    {QMX_NAME_AT(OrgSpeedLabel, 5), Kind::Label, "DefORGSpeedFrame", {5220, 1365, 720, 300},
     {"mS", nullptr}},
    {QMX_NAME(DefJOGSpeedFrame), Kind::PageFrame, "MainTab(4)", {240, 4440, 6255, 1815},
     {"JOG速度詳細設定", "JOG SPEED"}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 0), Kind::Label, "DefJOGSpeedFrame", {240, 405, 3300, 300},
     {"運転速度S", "MINIMUN FREQUENCY RATE (S)"}},
    {QMX_NAME_AT(DefJOGSpeedText, 0), Kind::NumberBox, "DefJOGSpeedFrame", {3600, 360, 1500, 390},
     {},
     {"JOG速度詳細設定, 運転速度S, pps", "JOG SPEED, S, pps"},
     {"100～F pps、100単位", "100 to F pps, in hundreds"},
     Shows(Number::JogS),
     {"ジョグ動作の開始速度（最小周波数）Sです。100～30000 PPS（パルス/秒）"
      "で100単位に丸められ、速度Fを超えることはできません。",
      "Start speed S (minimum frequency) of jog moves: 100 to 30000 pulses per second (PPS), "
      "rounded to hundreds; never above speed F."}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 3), Kind::Label, "DefJOGSpeedFrame", {5220, 405, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 1), Kind::Label, "DefJOGSpeedFrame", {240, 885, 3300, 300},
     {"運転速度F", "MAXIMUN FREQUENCY RATE (F)"}},
    {QMX_NAME_AT(DefJOGSpeedText, 1), Kind::NumberBox, "DefJOGSpeedFrame", {3600, 840, 1500, 390},
     {},
     {"JOG速度詳細設定, 運転速度F, pps", "JOG SPEED, F, pps"},
     {"S～30000 pps、100単位", "S to 30000 pps, in hundreds"},
     Shows(Number::JogF),
     {"ジョグ動作の最高速度（最大周波数）Fです。速度S～30000 PPS（パルス/秒）で、"
      "100単位に丸められます。",
      "Maximum speed F (maximum frequency) of jog moves: from speed S up to 30000 pulses per "
      "second (PPS), rounded to hundreds."}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 4), Kind::Label, "DefJOGSpeedFrame", {5220, 885, 720, 300},
     {"PPS", nullptr}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 2), Kind::Label, "DefJOGSpeedFrame", {240, 1365, 3300, 300},
     {"加減速時間", "ACCELERATION TIME"}},
    {QMX_NAME_AT(DefJOGSpeedText, 2), Kind::NumberBox, "DefJOGSpeedFrame", {3600, 1320, 1500, 390},
     {},
     {"JOG速度詳細設定, 加減速時間, ms", "JOG SPEED, ACCELERATION TIME, ms"},
     {"0～1000 ms", "0 to 1000 ms"},
     Shows(Number::JogTime),
     {"ジョグ動作の、速度SからFまでの加速時間とFからSまでの減速時間です。0～1000 ms。",
      "Time to speed up from S to F and to slow down from F to S in jog moves: 0 to 1000 ms."}},
    {QMX_NAME_AT(DefJOGSpeedLabel, 5), Kind::Label, "DefJOGSpeedFrame", {5220, 1365, 720, 300},
     {"mS", nullptr}},
};

const MenuRow kMenus[] = {
    {QMX_ONE(mnuFile), MenuKind::Menu, {"ﾌｧｲﾙ(&F)", "File(&F)"}},
    {QMX_ONE(mnuFileOpen), MenuKind::Entry, {"開く(&O)...", "&Open"}},
    {QMX_ONE(mnuFileClose), MenuKind::Entry, {"閉じる(&C)", "&Close"}},
    {QMX_ONE(mnuFileBar0), MenuKind::Separator, {"-", nullptr}},
    {QMX_ONE(mnuFileSave), MenuKind::Entry, {"上書き保存(&S)", "&Save"}},
    {QMX_ONE(mnuFileSaveAs), MenuKind::Entry, {"名前を付けて保存(&A)...", "Save &As"}},
    {QMX_ONE(mnuFileBar1), MenuKind::Separator, {"-", nullptr}},
    {QMX_ONE(mnuFileExit), MenuKind::Entry, {"終了(&X)", "E&xit"}},
    {QMX_ONE(mnuEdit), MenuKind::Menu, {"編集(&E)", "&Edit"}},
    {QMX_ONE(mnuEditUndo), MenuKind::Undo, {"元に戻す(&U)", "&Undo"}},
    {QMX_ONE(mnuEditRedo), MenuKind::Redo, {"やり直し(&R)", "&Redo"}},
    {QMX_ONE(mnuTools), MenuKind::Menu, {"ﾂｰﾙ(&T)", "Tools(&T)"}},
    {QMX_ONE(mnuToolsOptions), MenuKind::Entry, {"ｵﾌﾟｼｮﾝ(&O)...", "&Options"}},
    {QMX_ONE(mnuToolsCompare), MenuKind::Entry, {"QMXと比較(&C)...", "&Compare with QMX-001..."}},
    {QMX_ONE(mnuHelp), MenuKind::Menu, {"ﾍﾙﾌﾟ(&H)", "Help(&H)"}},
    {QMX_ONE(mnuHelpAbout), MenuKind::Entry, {"ﾊﾞｰｼﾞｮﾝ情報(&A)", "&About Version"}},
};
// clang-format on

#undef QMX_ONE
#undef QMX_AT
#undef QMX_PAGE
#undef QMX_NAME
#undef QMX_NAME_AT

} // namespace

std::span<const ControlRow> Controls() {
    return kControls;
}

const ControlRow* Named(const char* name) {
    for (const ControlRow& row : kControls)
        if (std::string_view(row.name) == name)
            return &row;
    return nullptr;
}

const char* InLanguage(const JaEn& text, bool english) {
    return english ? text.english : text.japanese;
}

QString Description(const ControlRow& row, bool english) {
    const char* range = InLanguage(row.range, english);
    const char* help = InLanguage(row.help, english);
    if (!range || !help)
        return QString::fromUtf8(range ? range : help ? help : "");
    return QString::fromUtf8(range) + (english ? QStringLiteral(". ") : QStringLiteral("。")) +
           QString::fromUtf8(help);
}

std::span<const MenuRow> Menus() {
    return kMenus;
}

} // namespace MainControls
