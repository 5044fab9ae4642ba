// The sixth tab "温度分布": the operator's view by bins, cables and layers.

#include "main_window.h"

#include "bins_tab.h"

void MainWindow::createBinsTab()
{
    m_binsTab = new BinsTab(SSTab1);
    SSTab1->addTab(m_binsTab, QStringLiteral("温度分布"));
}
