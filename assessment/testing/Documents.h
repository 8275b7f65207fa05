#pragma once
// Small assessment documents for the tests of the layers that read them.
#include <string>

namespace tallyhive::testing {

// A formal assessment as the tool writes it, with the values the tests look at.
inline std::string AssessmentXml(const std::string& product, const std::string& cpuScore = "7.9",
                                 const std::string& friendly = "Tuesday June 30, 2026  9:05:07am",
                                 const std::string& timeOfDay = "32707250") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<WinSAT><ProgramInfo><Version>V6.1 Build-7601</Version></ProgramInfo>"
           "<SystemEnvironment><ExecDateTOD Friendly=\"" +
           friendly + "\">739797:" + timeOfDay +
           "</ExecDateTOD></SystemEnvironment>"
           "<WinSPR><SystemScore>5.9</SystemScore><MemoryScore>7.1</MemoryScore><CpuScore>" +
           cpuScore +
           "</CpuScore><GraphicsScore>5.9</GraphicsScore><GamingScore>6.2</GamingScore>"
           "<DiskScore>5.9</DiskScore></WinSPR>"
           "<SystemConfig><OSVersion><ProductName>" +
           product +
           "</ProductName></OSVersion>"
           "<Processor><Instance><ProcessorName><![CDATA[Intel(R) Core(TM) i7 ]]></ProcessorName></Instance>"
           "</Processor></SystemConfig></WinSAT>";
}

inline std::string Utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace tallyhive::testing
