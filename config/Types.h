#ifndef TYPES_H
#define TYPES_H
// Types shared by every subsystem. The integer values are an interface to the
// configuration file, the remote-control protocol and the panels.

enum DevModel : int {
    DevModelDemo = 0,
    DevModelAlder = 1, DevModelDogwood = 2, DevModelFescue = 3, DevModelJuniper = 4,
    DevModelBirch = 5, DevModelEsparto = 6, DevModelHazel = 7, DevModelLarch = 8,
    DevModelOsier = 9, DevModelPoplar = 49, DevModelYarrow = 65,
    DevModelRowan = 101, DevModelSpruce = 102, DevModelTeak = 103, DevModelWillow = 104
};

// The models this program drives; a settings or capture file naming another
// is refused.
inline bool devModelSupported(int model)
{
    return model == DevModelDemo || (model >= DevModelRowan && model <= DevModelWillow);
}

enum DevSmpMode : int { SmpModeUnset = -1, SmpModeBuffer = 0, SmpModeStream = 1 };

enum DevWorkMode : int { WorkModeLA = 0, WorkModeOsc = 1 };

enum SmpStartMode : int {
    SmpStartPrevious = -1, SmpStartAuto = 0, SmpStartSingle = 1,
    SmpStartRepeatWait = 2, SmpStartRepeat = 3
};

enum TrgType : int { TrgNone = 0, TrgLow = 1, TrgHigh = 2, TrgRising = 3, TrgFalling = 4 };

enum DevFunction : int { DevFuncVth = 1, DevFuncPWM = 2 };

enum DevSmpSta : int {
    SmpStaStart = 0, SmpStaPre = 1, SmpStaWaitTrg = 2, SmpStaSampling = 3,
    SmpStaReading = 4, SmpStaStopped = 5
};

enum ViewState : int { ViewKeep = 0, ViewTrigger = 1, ViewAll = 2 };

enum FileType : int {
    FileTypeData = 0, FileTypeSettings = 1, FileTypeText = 2, FileTypeCsv = 3,
    FileTypeBinary = 4, FileTypeCustom = 5
};

enum KeyType : int { KeyUp = 1, KeyDown = 2 };

// With at most chnNum enabled channels, rates up to smpFrequ (Hz) are allowed.
struct ChnNumSmpFrequ {
    int chnNum;
    long long smpFrequ;
};

#endif
