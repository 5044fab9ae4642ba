#pragma once
// The texts the serial-number functions show in the observation window and in
// their message boxes.

#include <QString>

namespace serials {

// A number with at least two digits ("05", "40", "160").
QString twoDigits(int number);

// Read list: "<station>#设备,通道<channel>下：" then a line with the count.
QString listHeading(int station, int channel, int count);
// A serial-number line of a read: the text in double quotes, then "  [无效]" when it fails the list rule.
QString listLine(const QString& serialText, bool valid);

// Import: "本次共导入<count>个序列号".
QString importHeading(int count);
// A serial-number line of an import: the field in double quotes, then " [无效]" when invalid.
QString importLine(const QString& field, bool valid);

// Write result: "导入到 <channel>通道 <position>#位置 [成功]" or "... [失败]".
QString writeResultLine(int channel, int position, bool success);
// An entry the automatic write leaves out: "导入到 <channel>通道 <position>#位置 [未写入：序列号无效]".
QString skippedLine(int channel, int position);
// Before writing such an entry by hand: "第<position>个序列号“<entry>”无效，仍要写入模块吗？".
QString writeInvalidQuestion(int position, const QString& entry);

// Search and read-in: "<station>#设备下：".
QString deviceHeading(int station);
// "通道<channel> 发现传感器个数为：<found, two digits>".
QString searchLine(int channel, int found);
// "通道 <channel> 编号<position> ->序列号：识别  [成功]" or "识别  [失败]".
QString readInLine(int channel, int position, bool recognised);

// Message boxes.
QString nothingImportedMessage(); // "请按正确的格式，先导入正确的传感器序列号"
QString fileFormatMessage();      // "输入的文件数据格式有误！请检查"
QString alreadyLastMessage();     // "已是最后一个了"
QString finishedMessage();        // "操作结束"
// An entry that is not eight hex bytes separated by single spaces, named by its position.
QString badEntryMessage(int position, const QString& entry);
// The verification window does not hold eight hex bytes.
QString verificationWindowMessage(); // "序列号校对窗口：请输入8个十六进制字节（00～FF）"

// Saving the list read: the name first offered, "通道<channel>_序列号.txt"; and
// where it went, "已保存<count>个序列号到 <path>".
QString serialFileName(int channel);
QString savedToLine(int count, const QString& path);
QString noListReadMessage(); // "尚未读取序列号，请先读序列号再保存"
QString saveMoreThanReadMessage(int read); // "上次只读取了<read>个序列号，保存的个数不能多于读取的个数"
QString savedBeyondImportMessage(int saved); // "已保存<saved>个序列号；从文件导入时最多读入128个"
QString replaceFileQuestion(const QString& path);   // "文件“<path>”已存在，要替换它吗？"
QString fileNotWrittenMessage(const QString& path); // "无法写入文件“<path>”，序列号未保存。"
QString fileNotReadMessage(const QString& path);    // "无法读取文件“<path>”。"

} // namespace serials
