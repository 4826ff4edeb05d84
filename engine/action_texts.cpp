// The fixed texts of the five kinds of action.
#include "engine/actions.h"

// upload_firmware
static Tr title_exchange_firmware("upload_firmware", "Прошивка закачивается на устройства");
static Tr_with_hint
    caption_abort_firmware("upload_firmware", "Прервать закачку",
                           "Если вы нажмёте эту кнопку, закачка прошивки будет прервана. На\nвсех "
                           "устройствах, которые будут успешно прошиты к моменту\nпрерывания "
                           "закачки, останется новая прошивка, на всех остальных -\nстарая.");
static Tr_with_hint
    question_abort_firmware("upload_firmware",
                            "Если закачка будет прервана, на всех устройствах, закачка на которые "
                            "не была завершена к моменту нажатия кнопки «Да», останется старая "
                            "прошивка.\n\nВы уверены, что хотите прервать закачку?",
                            "Если вы нажмёте эту кнопку, закачка не будет прервана (всё\nбудет "
                            "так, как если бы вы не нажимали кнопку «Прервать закачку»).");
static Tr title_result_firmware("upload_firmware", "Результаты закачки прошивки");
static Tr_with_hint caption_all_good_firmware(
    "upload_firmware", "Прошивка успешно закачана на все устройства.",
    "Прошивка, которую вы указали, была только что закачана на все\nустройства, перечисленные в "
    "текущей конфигурации. Никаких ошибок\nпри этом замечено не было.");
static Tr_with_hint
    caption_good_firmware("upload_firmware", "Прошивка успешно закачана на %1 устройств.",
                          "Чтобы посмотреть список устройств, на которые программе "
                          "удалось\nуспешно закачать прошивку, нажмите кнопку справа.");
static Tr_with_hint caption_bad_firmware(
    "upload_firmware", "Не удалось закачать прошивку на %1 устройств.",
    "Чтобы посмотреть список устройств, на которые программе не удалось\nзакачать прошивку (а "
    "также причины, по которым не удалось), нажмите\nкнопку справа.");
static Tr_with_hint
    caption_all_bad_firmware("upload_firmware",
                             "Не удалось закачать прошивку ни на одно устройство.",
                             "Чтобы посмотреть причины, по которым не удалось закачать "
                             "прошивку\nна устройства, нажмите кнопку справа.");
static Tr hint_good_button_firmware(
    "upload_firmware",
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые программе "
    "удалось закачать прошивку во время\nтолько что закончившейся операции.\n\nПри желании, вы "
    "сможете сохранить этот список в файл.");
static Tr hint_bad_button_firmware(
    "upload_firmware",
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые программе не "
    "удалось закачать прошивку во\nвремя только что закончившейся операции. Для каждого "
    "устройства\nбудет указана причина неудачи.\n\nПри желании, вы сможете сохранить этот список в "
    "файл (в виде новой\nконфигурации), чтобы впоследствии ещё раз попробовать закачать\nпрошивку "
    "на эти устройства.");
static Tr hint_close_firmware(
    "upload_firmware",
    "Если вы нажмёте эту кнопку, окно с результатами закачки прошивки\nбудет закрыто, и вы "
    "вернётесь в главное окно программы. Если при\nэтом возникнет риск потери ценной информации, "
    "программа попросит\nвас подтвердить, что вы действительно хотите закрыть окно.");
static Tr_with_hint question_drop_firmware(
    "upload_firmware",
    "На одни устройства прошивка была закачана успешно, на другие - нет. Вы не записали на диск "
    "список устройств, на которые прошивку закачать не удалось. Если вы закроете это окно, "
    "программа забудет этот список.\n\nВы уверены, что хотите закрыть окно?",
    "Если вы нажмёте эту кнопку, текущее окно будет закрыто, и вы\nвернётесь в главное окно "
    "программы. При этом программа забудет, на\nкакие устройства ей удалось закачать прошивку, а "
    "на какие нет.");

// upload_settings
static Tr title_exchange_settings("upload_settings", "Файл настроек закачивается на устройства");
static Tr_with_hint caption_abort_settings(
    "upload_settings", "Прервать закачку",
    "Если вы нажмёте эту кнопку, закачка файла настроек будет прервана.\nНа всех устройствах, на "
    "которые этот файл будет полностью закачан\nк моменту прерывания закачки, останутся новые "
    "настройки, на всех\nостальных - старые.");
static Tr_with_hint
    question_abort_settings("upload_settings",
                            "Если закачка будет прервана, на всех устройствах, закачка на которые "
                            "не была завершена к моменту нажатия кнопки «Да», останутся старые "
                            "настройки.\n\nВы уверены, что хотите прервать закачку?",
                            "Если вы нажмёте эту кнопку, закачка не будет прервана (всё\nбудет "
                            "так, как если бы вы не нажимали кнопку «Прервать закачку»).");
static Tr title_result_settings("upload_settings", "Результаты закачки файла настроек");
static Tr_with_hint caption_all_good_settings(
    "upload_settings", "Файл настроек успешно закачан на все устройства.",
    "Файл настроек, который вы указали, был только что закачан на все\nустройства, перечисленные в "
    "текущей конфигурации. Никаких ошибок\nпри этом замечено не было.");
static Tr_with_hint
    caption_good_settings("upload_settings", "Файл настроек успешно закачан на %1 устройств.",
                          "Чтобы посмотреть список устройств, на которые программе "
                          "удалось\nуспешно закачать файл настроек, нажмите кнопку справа.");
static Tr_with_hint caption_bad_settings(
    "upload_settings", "Не удалось закачать файл настроек на %1 устройств.",
    "Чтобы посмотреть список устройств, на которые программе не удалось\nзакачать файл настроек (а "
    "также причины, по которым не удалось),\nнажмите кнопку справа.");
static Tr_with_hint
    caption_all_bad_settings("upload_settings",
                             "Не удалось закачать файл настроек ни на одно устройство.",
                             "Чтобы посмотреть причины, по которым не удалось закачать "
                             "файл\nнастроек на устройства, нажмите кнопку справа.");
static Tr hint_good_button_settings(
    "upload_settings",
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые программе "
    "удалось закачать файл настроек во\nвремя только что закончившейся операции.\n\nПри желании, "
    "вы сможете сохранить этот список в файл.");
static Tr hint_bad_button_settings(
    "upload_settings",
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые программе не "
    "удалось закачать файл настроек\nво время только что закончившейся операции. Для каждого "
    "устройства\nбудет указана причина неудачи.\n\nПри желании, вы сможете сохранить этот список в "
    "файл (в виде новой\nконфигурации), чтобы впоследствии ещё раз попробовать закачать\nфайл "
    "настроек на эти устройства.");
static Tr hint_close_settings(
    "upload_settings",
    "Если вы нажмёте эту кнопку, окно с результатами закачки файла\nнастроек будет закрыто, и вы "
    "вернётесь в главное окно программы.\nЕсли при этом возникнет риск потери ценной информации, "
    "программа\nпопросит вас подтвердить, что вы действительно хотите закрыть\nокно.");
static Tr_with_hint question_drop_settings(
    "upload_settings",
    "На одни устройства файл настроек был закачан успешно, на другие - нет. Вы не записали на диск "
    "список устройств, на которые файл закачать не удалось. Если вы закроете это окно, программа "
    "забудет этот список.\n\nВы уверены, что хотите закрыть окно?",
    "Если вы нажмёте эту кнопку, текущее окно будет закрыто, и вы\nвернётесь в главное окно "
    "программы. При этом программа забудет, на\nкакие устройства ей удалось закачать файл "
    "настроек, а на какие\nнет.");

// upload_other
static Tr title_exchange_other("upload_other", "Файл «%1» закачивается на устройства");
static Tr_with_hint caption_abort_other(
    "upload_other", "Прервать закачку",
    "Если вы нажмёте эту кнопку, закачка файла будет прервана. На всех\nустройствах, для которых "
    "закачка файла будет успешно завершена к\nмоменту прерывания закачки, останется новый файл, на "
    "всех остальных\n- старый.");
static Tr_with_hint
    question_abort_other("upload_other",
                         "Если закачка файла будет прервана, на всех устройствах, закачка на "
                         "которые не была завершена к моменту нажатия кнопки «Да», останется "
                         "старый файл.\n\nВы уверены, что хотите прервать закачку?",
                         "Если вы нажмёте эту кнопку, закачка не будет прервана (всё\nбудет так, "
                         "как если бы вы не нажимали кнопку «Прервать закачку»).");
static Tr title_result_other("upload_other", "Результаты закачки файла «%1»");
static Tr_with_hint caption_all_good_other(
    "upload_other", "Файл успешно закачан на все устройства.",
    "Файл, который вы указали, был только что закачан на все устройства,\nперечисленные в текущей "
    "конфигурации. Никаких ошибок при этом\nзамечено не было.");
static Tr_with_hint caption_good_other("upload_other", "Файл успешно закачан на %1 устройств.",
                                       "Чтобы посмотреть список устройств, на которые программе "
                                       "удалось\nуспешно закачать файл, нажмите кнопку справа.");
static Tr_with_hint caption_bad_other(
    "upload_other", "Не удалось закачать файл на %1 устройств.",
    "Чтобы посмотреть список устройств, на которые программе не удалось\nзакачать файл (а также "
    "причины, по которым не удалось), нажмите\nкнопку справа.");
static Tr_with_hint caption_all_bad_other("upload_other",
                                          "Не удалось закачать файл ни на одно устройство.",
                                          "Чтобы посмотреть причины, по которым не удалось "
                                          "закачать файл на\nустройства, нажмите кнопку справа.");
static Tr hint_good_button_other(
    "upload_other", "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на "
                    "которые программе удалось закачать файл во время\nтолько что закончившейся "
                    "операции.\n\nПри желании, вы сможете сохранить этот список в файл.");
static Tr hint_bad_button_other(
    "upload_other",
    "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые программе не "
    "удалось закачать файл во время\nтолько что закончившейся операции. Для каждого устройства "
    "будет\nуказана причина неудачи.\n\nПри желании, вы сможете сохранить этот список в файл (в "
    "виде новой\nконфигурации), чтобы впоследствии ещё раз попробовать закачать файл\nна эти "
    "устройства.");
static Tr hint_close_other(
    "upload_other",
    "Если вы нажмёте эту кнопку, окно с результатами закачки файла будет\nзакрыто, и вы вернётесь "
    "в главное окно программы. Если при этом\nвозникнет риск потери ценной информации, программа "
    "попросит вас\nподтвердить, что вы действительно хотите закрыть окно.");
static Tr_with_hint question_drop_other(
    "upload_other",
    "На одни устройства файл был закачан успешно, на другие - нет. Вы не записали на диск список "
    "устройств, на которые файл закачать не удалось. Если вы закроете это окно, программа забудет "
    "этот список.\n\nВы уверены, что хотите закрыть окно?",
    "Если вы нажмёте эту кнопку, текущее окно будет закрыто, и вы\nвернётесь в главное окно "
    "программы. При этом программа забудет, на\nкакие устройства ей удалось закачать файл, а на "
    "какие нет.");

// gather
static Tr title_exchange_gather("gather", "Собирается информация с устройств");
static Tr_with_hint caption_abort_gather(
    "gather", "Прервать сбор информации",
    "Если вы нажмёте эту кнопку, сбор информации будет прерван. Для тех\nустройств, для которых к "
    "моменту прерывания будет получена вся\nтребуемая информация, эта информация будет отображена, "
    "для\nостальных будет отображено сообщение об ошибке.");
static Tr title_result_gather("gather", "Результаты сбора информации");
static Tr_with_hint
    caption_good_gather("gather", "Информация успешно получена с %1 устройств.",
                        "Чтобы посмотреть полученную информацию, нажмите кнопку справа.");
static Tr_with_hint caption_bad_gather(
    "gather", "Не удалось получить информацию с %1 устройств.",
    "Чтобы посмотреть список устройств, с которых программе не удалось\nполучить информацию (а "
    "также причины, по которым не удалось),\nнажмите кнопку справа.");
static Tr_with_hint
    caption_all_bad_gather("gather", "Не удалось получить информацию ни с одного устройства.",
                           "Чтобы посмотреть причины, по которым не удалось получить информацию\nс "
                           "устройств, нажмите кнопку справа.");
static Tr hint_good_button_gather(
    "gather", "Если вы нажмёте эту кнопку, будет открыто окно с информацией о тех\nустройствах, "
              "для которых эту информацию удалось получить успешно.");
static Tr hint_bad_button_gather(
    "gather", "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, про которые "
              "программе не удалось собрать требуемую\nинформацию во время только что "
              "закончившейся операции. Для каждого\nустройства будет указана причина неудачи.");
static Tr hint_close_gather("gather",
                            "Если вы нажмёте эту кнопку, окно с результатами сбора "
                            "информации\nбудет закрыто, и вы вернётесь в главное окно программы.");

// cmd
static Tr title_exchange_cmd("cmd", "Передаётся команда «%1»");
static Tr_with_hint caption_abort_cmd(
    "cmd", "Прервать передачу команд",
    "Если вы нажмёте эту кнопку, передача устройствам выбранной команды\nбудет прервана. Те "
    "устройства, на которые мы к моменту прерывания\nещё не успели передать команду, останутся "
    "нетронутыми. Те, на\nкоторые успели, выполнят команду в полном объёме.");
static Tr title_result_cmd("cmd", "Результаты передачи команды «%1»");
static Tr_with_hint caption_all_good_cmd(
    "cmd", "Команда успешно передана всем устройствам.",
    "Команда только что была передана всем устройствам, перечисленным в\nтекущей конфигурации. "
    "Никаких ошибок при этом замечено не было.\nУстройства начали исполнение команды.");
static Tr_with_hint caption_good_cmd("cmd", "Команда успешно передана на %1 устройств.",
                                     "Чтобы посмотреть список устройств, на которые программе "
                                     "удалось\nуспешно передать команду, нажмите кнопку справа.");
static Tr_with_hint
    caption_bad_cmd("cmd", "Не удалось передать команду на %1 устройств.",
                    "Чтобы посмотреть список устройств, на которые программе не удалось\nпередать "
                    "команду (а также причины, по которым не удалось), нажмите\nкнопку справа.");
static Tr_with_hint caption_all_bad_cmd("cmd", "Не удалось передать команду ни на одно устройство.",
                                        "Чтобы посмотреть причины, по которым не удалось передать "
                                        "команды на\nустройства, нажмите кнопку справа.");
static Tr hint_good_button_cmd(
    "cmd", "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые "
           "программе удалось передать команду во время\nтолько что закончившейся операции.\n\nПри "
           "желании, вы сможете сохранить этот список в файл.");
static Tr hint_bad_button_cmd(
    "cmd", "Если вы нажмёте эту кнопку, будет открыто окно со списком\nустройств, на которые "
           "программе не удалось передать команду во\nвремя только что закончившейся операции. Для "
           "каждого устройства\nбудет указана причина неудачи.\n\nПри желании, вы сможете "
           "сохранить этот список в файл (в виде новой\nконфигурации), чтобы впоследствии ещё раз "
           "попробовать передать\nкоманду на эти устройства.");
static Tr hint_close_cmd(
    "cmd",
    "Если вы нажмёте эту кнопку, окно с результатами передачи команды\nбудет закрыто, и вы "
    "вернётесь в главное окно программы. Если при\nэтом возникнет риск потери ценной информации, "
    "программа попросит\nвас подтвердить, что вы действительно хотите закрыть окно.");
static Tr_with_hint question_drop_cmd(
    "cmd",
    "На одни устройства команда была передана успешно, на другие - нет. Вы не записали на диск "
    "список устройств, на которые команду передать не удалось. Если вы закроете это окно, "
    "программа забудет этот список.\n\nВы уверены, что хотите закрыть окно?",
    "Если вы нажмёте эту кнопку, текущее окно будет закрыто, и вы\nвернётесь в главное окно "
    "программы. При этом программа забудет, на\nкакие устройства ей удалось передать команду, а на "
    "какие нет.");

const Action_texts action_texts_firmware = {
    &title_exchange_firmware,  &caption_abort_firmware,    &question_abort_firmware,
    &title_result_firmware,    &caption_all_good_firmware, &caption_good_firmware,
    &caption_bad_firmware,     &caption_all_bad_firmware,  &hint_good_button_firmware,
    &hint_bad_button_firmware, &hint_close_firmware,       &question_drop_firmware};
const Action_texts action_texts_settings = {
    &title_exchange_settings,  &caption_abort_settings,    &question_abort_settings,
    &title_result_settings,    &caption_all_good_settings, &caption_good_settings,
    &caption_bad_settings,     &caption_all_bad_settings,  &hint_good_button_settings,
    &hint_bad_button_settings, &hint_close_settings,       &question_drop_settings};
const Action_texts action_texts_other = {
    &title_exchange_other,   &caption_abort_other,   &question_abort_other, &title_result_other,
    &caption_all_good_other, &caption_good_other,    &caption_bad_other,    &caption_all_bad_other,
    &hint_good_button_other, &hint_bad_button_other, &hint_close_other,     &question_drop_other};
const Action_texts action_texts_gather = {&title_exchange_gather,
                                          &caption_abort_gather,
                                          nullptr,
                                          &title_result_gather,
                                          nullptr,
                                          &caption_good_gather,
                                          &caption_bad_gather,
                                          &caption_all_bad_gather,
                                          &hint_good_button_gather,
                                          &hint_bad_button_gather,
                                          &hint_close_gather,
                                          nullptr};
const Action_texts action_texts_cmd = {
    &title_exchange_cmd,   &caption_abort_cmd,   nullptr,          &title_result_cmd,
    &caption_all_good_cmd, &caption_good_cmd,    &caption_bad_cmd, &caption_all_bad_cmd,
    &hint_good_button_cmd, &hint_bad_button_cmd, &hint_close_cmd,  &question_drop_cmd};

void action_texts_clear_translation() {
    title_exchange_firmware.clear();
    caption_abort_firmware.clear();
    question_abort_firmware.clear();
    title_result_firmware.clear();
    caption_all_good_firmware.clear();
    caption_good_firmware.clear();
    caption_bad_firmware.clear();
    caption_all_bad_firmware.clear();
    hint_good_button_firmware.clear();
    hint_bad_button_firmware.clear();
    hint_close_firmware.clear();
    question_drop_firmware.clear();
    title_exchange_settings.clear();
    caption_abort_settings.clear();
    question_abort_settings.clear();
    title_result_settings.clear();
    caption_all_good_settings.clear();
    caption_good_settings.clear();
    caption_bad_settings.clear();
    caption_all_bad_settings.clear();
    hint_good_button_settings.clear();
    hint_bad_button_settings.clear();
    hint_close_settings.clear();
    question_drop_settings.clear();
    title_exchange_other.clear();
    caption_abort_other.clear();
    question_abort_other.clear();
    title_result_other.clear();
    caption_all_good_other.clear();
    caption_good_other.clear();
    caption_bad_other.clear();
    caption_all_bad_other.clear();
    hint_good_button_other.clear();
    hint_bad_button_other.clear();
    hint_close_other.clear();
    question_drop_other.clear();
    title_exchange_gather.clear();
    caption_abort_gather.clear();
    title_result_gather.clear();
    caption_good_gather.clear();
    caption_bad_gather.clear();
    caption_all_bad_gather.clear();
    hint_good_button_gather.clear();
    hint_bad_button_gather.clear();
    hint_close_gather.clear();
    title_exchange_cmd.clear();
    caption_abort_cmd.clear();
    title_result_cmd.clear();
    caption_all_good_cmd.clear();
    caption_good_cmd.clear();
    caption_bad_cmd.clear();
    caption_all_bad_cmd.clear();
    hint_good_button_cmd.clear();
    hint_bad_button_cmd.clear();
    hint_close_cmd.clear();
    question_drop_cmd.clear();
}
