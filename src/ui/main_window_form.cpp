#include "main_window_form.h"

void MainWindowForm::setupUi(QWidget* window)
{
    form::Binder built = form::build(window, layout());
    FORM_BIND(built, SSTab1);
    FORM_BIND(built, tabPages);

    FORM_BIND(built, Frame10);
    FORM_BIND(built, Label8);
    FORM_BIND(built, txtStationID);
    FORM_BIND(built, txtStartID);
    FORM_BIND(built, txtFunID);
    FORM_BIND(built, txtChannel);
    FORM_BIND(built, txtDataLength);
    FORM_BIND(built, Frame6);
    FORM_BIND(built, Picture2);
    FORM_BIND(built, imgConnected);
    FORM_BIND(built, ImgYellow);
    FORM_BIND(built, imgNotConnected);
    FORM_BIND(built, lblCounter);
    FORM_BIND(built, Frame3);
    FORM_BIND(built, FrameShow);
    for (int g = 0; g < ValueGroupCount; ++g) {
        QLineEdit* value = nullptr;
        QLabel* label = nullptr;
        built.bind(value, QStringLiteral("txtValue%1_0").arg(g + 1));
        built.bind(label, QStringLiteral("lblValue%1_0").arg(g + 1));
        txtValue[g] = {value};
        lblValue[g] = {label};
    }
    FORM_BIND(built, Frame11);
    FORM_BIND(built, txtTimerSet);
    FORM_BIND(built, comDoOnce);
    FORM_BIND(built, cmdOneM);
    FORM_BIND(built, cmdStopOnce);
    FORM_BIND(built, Frame18);
    FORM_BIND(built, cmdOnceDo1);
    FORM_BIND(built, CmdReadDataCircle);
    FORM_BIND(built, cmdStopCircle);

    FORM_BIND(built, frmView);
    FORM_BIND(built, txtShowID);
    FORM_BIND(built, txtSn);
    FORM_BIND(built, cmdClearSn);
    FORM_BIND(built, Label2);
    FORM_BIND(built, Frame4);
    FORM_BIND(built, txtSearchAdd);
    FORM_BIND(built, txtSearchChannel);
    FORM_BIND(built, txtSearchNum);
    FORM_BIND(built, cmdAutoSearch);
    FORM_BIND(built, Frame9);
    FORM_BIND(built, txtObjStationID);
    FORM_BIND(built, txtObjChnid);
    FORM_BIND(built, txtSensorReadID);
    FORM_BIND(built, cmdAutoInput);
    FORM_BIND(built, Frame13);
    FORM_BIND(built, txtSta);
    FORM_BIND(built, txtChnId);
    FORM_BIND(built, TXTsensorID);
    FORM_BIND(built, cmdReadSensorID);
    FORM_BIND(built, cmdSaveSn);
    FORM_BIND(built, Frame16);
    FORM_BIND(built, Frame2);
    FORM_BIND(built, Label11);
    FORM_BIND(built, txtSenseSn);
    FORM_BIND(built, txtInputAddid);
    FORM_BIND(built, txtObjChannelID);
    FORM_BIND(built, txtObjSensorid);
    FORM_BIND(built, Label14);
    FORM_BIND(built, txtTimer5);
    FORM_BIND(built, cmdOpenFile);
    FORM_BIND(built, cmdFirst);
    FORM_BIND(built, cmdWriteNext);
    FORM_BIND(built, cmdWriteAllSn);
    FORM_BIND(built, cmdStopWrite);

    FORM_BIND(built, Frame5);
    FORM_BIND(built, Label3);
    FORM_BIND(built, Combo1);
    FORM_BIND(built, Label5);
    FORM_BIND(built, Combo2);
    FORM_BIND(built, cmdCom);
    FORM_BIND(built, cmdOpenComm);
    FORM_BIND(built, cmdCloseComm);
    FORM_BIND(built, lblPortState);
    FORM_BIND(built, Frame12);
    FORM_BIND(built, cmdReadAdd);
    FORM_BIND(built, lblCurrentAdd);
    FORM_BIND(built, txtCurrentAdd);
    FORM_BIND(built, txtSetID);
    FORM_BIND(built, lblChangeAddress);
    FORM_BIND(built, cmdChangeID);
    FORM_BIND(built, lblAddressHint);
    FORM_BIND(built, lblAddressRange);
    FORM_BIND(built, Frame7);
    FORM_BIND(built, lblCurrentBuad);
    FORM_BIND(built, txtCurrentBuad);
    FORM_BIND(built, lblObjectBuad);
    FORM_BIND(built, txtObjectBuad);
    FORM_BIND(built, Label1);
    FORM_BIND(built, cmdBuadRate);
    FORM_BIND(built, Frame17);
    FORM_BIND(built, txtModuleNum);
    FORM_BIND(built, Label13);
    FORM_BIND(built, txtDoADDress);
    FORM_BIND(built, Label12);
    FORM_BIND(built, txtChnnelNum);
    FORM_BIND(built, txtMaxofSensor);
    FORM_BIND(built, cmdSaveSet);
    FORM_BIND(built, fraLine);
    FORM_BIND(built, lblLineSummary);
    FORM_BIND(built, lblVersion);
    FORM_BIND(built, lblDataFolder);
    FORM_BIND(built, cmdLineSettings);
    FORM_BIND(built, cmdBusScan);

    FORM_BIND(built, Picture3);
    FORM_BIND(built, Label4);
    FORM_BIND(built, Label6);
    FORM_BIND(built, Label9);

    FORM_BIND(built, Frame1);
    FORM_BIND(built, Label7);
    FORM_BIND(built, txtCommand);
    FORM_BIND(built, txtState);

    FORM_BIND(built, Timer2);
    FORM_BIND(built, Timer7);
    FORM_BIND(built, Timer5);
    built.failOnProblems("frmMain");

    imgNotConnected->raise(); // the red lamp shows until a request succeeds
}
