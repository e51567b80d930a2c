<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Dialogs</name>
    <message>
        <source>导出为视频</source>
        <translation>Export as Video</translation>
    </message>
    <message>
        <source>MP4 视频 (*.mp4)</source>
        <translation>MP4 video (*.mp4)</translation>
    </message>
    <message>
        <source>WebM 视频 (*.webm)</source>
        <translation>WebM video (*.webm)</translation>
    </message>
    <message>
        <source>GIF 动画 (*.gif)</source>
        <translation>GIF animation (*.gif)</translation>
    </message>
    <message>
        <source>包含视频的声音</source>
        <translation>Include the video&apos;s sound</translation>
    </message>
    <message>
        <source>彩色(取自视频的颜色)</source>
        <translation>In colour (the video&apos;s own colours)</translation>
    </message>
    <message>
        <source>MKV 视频(无损) (*.mkv)</source>
        <translation>MKV video, lossless (*.mkv)</translation>
    </message>
</context>
<context>
    <name>OptionPages</name>
    <message>
        <source>录制前自动清空旧图</source>
        <translation>Clear old frames first</translation>
    </message>
    <message>
        <source>录制完毕即开始转换</source>
        <translation>Convert when recording ends</translation>
    </message>
    <message>
        <source>快速录制(不播放视频,按时间取帧)</source>
        <translation>Fast recording (no playback)</translation>
    </message>
    <message>
        <source>精细画质(按显示字体的实际浓淡选字)</source>
        <translation>Fine picture (by the font's ink)</translation>
    </message>
    <message>
        <source>灰度级:</source>
        <translation>Gray levels: </translation>
    </message>
    <message>
        <source>每秒录制帧数:</source>
        <translation>Frames a second:</translation>
    </message>
    <message>
        <source>转换图尺寸:</source>
        <translation>Movie size:</translation>
    </message>
    <message>
        <source>输出文件类型:</source>
        <translation>Output:</translation>
    </message>
    <message>
        <source>单个文本文件(用本程序播放)</source>
        <translation>One text file (plays here)</translation>
    </message>
    <message>
        <source>HTML网页(必须允许浏览器运行脚本)</source>
        <translation>Web page (needs scripts)</translation>
    </message>
    <message>
        <source>EXCEL文件(必须允许EXCEL启用宏)</source>
        <translation>Excel workbook (needs macros)</translation>
    </message>
    <message>
        <source>多个文本文件</source>
        <translation>One text file per frame</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>基本</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>录制图片保存路径：</source>
        <translation>Folder for recorded frames:</translation>
    </message>
    <message>
        <source>选择保存目录</source>
        <translation>Choose the folder for recorded frames</translation>
    </message>
    <message>
        <source>高级</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>保存到列表中</source>
        <translation>Add to the list</translation>
    </message>
    <message>
        <source>灰度表</source>
        <translation>Gray table</translation>
    </message>
    <message>
        <source>请注意:转换图宽大于250用记事本程序打开时可能会显示异常.</source>
        <translation>Note: a movie wider than 250 characters may look wrong in a text editor.</translation>
    </message>
    <message>
        <source>是否更新当前的灰度表？</source>
        <translation>Replace the current gray table?</translation>
    </message>
    <message>
        <source>灰度表不能使用: </source>
        <translation>This gray table cannot be used: </translation>
    </message>
    <message>
        <source>输入文本中不能含有空格</source>
        <translation>The gray table cannot contain spaces</translation>
    </message>
    <message>
        <source>确认将上面的灰度表项目保存到当前列表?</source>
        <translation>Add the gray table above to the list?</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>Glyphreel 开发组</source>
        <translation>the Glyphreel developers</translation>
    </message>
    <message>
        <source>2009年12月</source>
        <translation>December 2009</translation>
    </message>
    <message>
        <source>    本程序用于将电影视频文件转换为用字符画制成的字符电影,字符制成的字符电影可以是文本格式、网页格式或EXCEL格式.使用本程序制作字符电影非常简单.首先打开视频文件,然后点录制按钮即录制,录制完成后点击字符转换按钮开始转换,转换完成后便可以直接看到转换效果.如果输出为单个文本,本程序还可以实现字符电影与原电影的同步播放.<byte value="xd"/>
<byte value="xd"/>
    本程序属即兴之作,存在问题敬请见谅.</source>
        <translation>    This program turns a video into a character movie, drawn entirely with text characters. The movie can be a text file, a web page or an Excel workbook. Making one is simple: open a video, click Rec to record it, and when the recording ends click Convert; the result shows as soon as the conversion is done. A movie written as one text file can also play in step with the original video.<byte value="xd"/>
<byte value="xd"/>
    This program was made for fun; please forgive its rough edges.</translation>
    </message>
    <message>
        <source>名称:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>版本:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>作者: </source>
        <translation>Producer: </translation>
    </message>
    <message>
        <source>日期:</source>
        <translation>Date:</translation>
    </message>
    <message>
        <source>简介:</source>
        <translation>About:</translation>
    </message>
    <message>
        <source>软件名: </source>
        <translation>Program: </translation>
    </message>
    <message>
        <source>版  本: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>制作者: </source>
        <translation>Made by: </translation>
    </message>
    <message>
        <source>简  介:</source>
        <translation>About this program:</translation>
    </message>
    <message>
        <source>日  期: </source>
        <translation>Date: </translation>
    </message>
    <message>
        <source>访问软件主页</source>
        <translation>Visit the home page</translation>
    </message>
    <message>
        <source>留言及建议</source>
        <translation>Comments and suggestions</translation>
    </message>
    <message>
        <source>给作者发信</source>
        <translation>Write to us</translation>
    </message>
</context>
<context>
    <name>TConverter</name>
    <message>
        <source>灰度表无效: 灰度级数为 %1, 必须在 1 到 %2 之间</source>
        <translation>Invalid gray table: it has %1 levels, but must have 1 to %2</translation>
    </message>
    <message>
        <source>输出尺寸无效: %1 X %2</source>
        <translation>Invalid output size: %1 x %2</translation>
    </message>
    <message>
        <source>灰度表无效: 第%1个字节%2</source>
        <translation>Invalid gray table: byte %1 %2</translation>
    </message>
    <message>
        <source>是NUL</source>
        <translation>is NUL</translation>
    </message>
    <message>
        <source>是空格(灰度表中不能含有空格)</source>
        <translation>is a space (a gray table cannot contain spaces)</translation>
    </message>
    <message>
        <source>不是GBK字符</source>
        <translation>is not a GBK character</translation>
    </message>
    <message>
        <source>是不完整的GBK字符</source>
        <translation>is an incomplete GBK character</translation>
    </message>
    <message>
        <source>起始的GBK字符无效</source>
        <translation>starts an invalid GBK character</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开电影文件</source>
        <translation>Open a video</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>暂停播放</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Rec</source>
        <translation>Rec</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>停止播放/录制</source>
        <translation>Stop playing or recording</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Convert</translation>
    </message>
    <message>
        <source>开始字符转换</source>
        <translation>Convert the recorded frames</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>打开字符电影</source>
        <translation>Open a character movie</translation>
    </message>
    <message>
        <source>单播放字符电影</source>
        <translation>Play the character movie</translation>
    </message>
    <message>
        <source>Play2</source>
        <translation>Play both</translation>
    </message>
    <message>
        <source>同步播放</source>
        <translation>Play with the video</translation>
    </message>
    <message>
        <source>暂停播放字符电影</source>
        <translation>Pause the character movie</translation>
    </message>
    <message>
        <source>停止播放字符电影</source>
        <translation>Stop the character movie</translation>
    </message>
    <message>
        <source>Rw</source>
        <translation>Rewind</translation>
    </message>
    <message>
        <source>返回开头</source>
        <translation>Back to the start</translation>
    </message>
    <message>
        <source>FontColor</source>
        <translation>Colours</translation>
    </message>
    <message>
        <source>改变字体颜色</source>
        <translation>Switch the colours</translation>
    </message>
    <message>
        <source>FontSize</source>
        <translation>Font size</translation>
    </message>
    <message>
        <source>改变字体大小</source>
        <translation>Change the font size</translation>
    </message>
    <message>
        <source>Notepad</source>
        <translation>Editor</translation>
    </message>
    <message>
        <source>打开记事本</source>
        <translation>Open in a text editor</translation>
    </message>
    <message>
        <source>window</source>
        <translation>Layout</translation>
    </message>
    <message>
        <source>窗口布局</source>
        <translation>Window layout</translation>
    </message>
    <message>
        <source>help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>电影预览</source>
        <translation>Video preview</translation>
    </message>
    <message>
        <source>技术选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>录制画面</source>
        <translation>Recorded frame</translation>
    </message>
    <message>
        <source>字符电影</source>
        <translation>Character movie</translation>
    </message>
    <message>
        <source>未装入电影文件</source>
        <translation>No video open</translation>
    </message>
    <message>
        <source>点击&quot;打开电影&quot;按钮打开一个视频文件</source>
        <translation>Click &quot;Open&quot; to open a video</translation>
    </message>
    <message>
        <source>灰度表不能使用: </source>
        <translation>This gray table cannot be used: </translation>
    </message>
    <message>
        <source>字符转换中...</source>
        <translation>Converting...</translation>
    </message>
    <message>
        <source>请耐心等待转换结束</source>
        <translation>Please wait for the conversion to finish</translation>
    </message>
    <message>
        <source>图片格式错误</source>
        <translation>A frame picture is not a valid bitmap</translation>
    </message>
    <message>
        <source>已转换%1个图象字符文件,点击确定查看该文件.</source>
        <translation>Converted %1 frames into text files. Click OK to see them.</translation>
    </message>
    <message>
        <source>请先选择输出文件类型</source>
        <translation>Please choose an output type first</translation>
    </message>
    <message>
        <source>转换失败: </source>
        <translation>The conversion failed: </translation>
    </message>
    <message>
        <source>转换已完成</source>
        <translation>Converted</translation>
    </message>
    <message>
        <source>可调整转换选项多次转换</source>
        <translation>You can change the options and convert again</translation>
    </message>
    <message>
        <source>无法读取字符电影文件: </source>
        <translation>Cannot read the character movie </translation>
    </message>
    <message>
        <source>注意:打开的不是标准的字符电影文件</source>
        <translation>Note: this is not a standard character movie file</translation>
    </message>
    <message>
        <source>Txt file|*.txt</source>
        <translation>Text files|*.txt</translation>
    </message>
    <message>
        <source>请点击&quot;播放&quot;或&quot;同步播放&quot;按钮播放字符电影</source>
        <translation>Click &quot;Play&quot; or &quot;Play with the video&quot; to play the character movie</translation>
    </message>
    <message>
        <source>%1个文件无法清理</source>
        <translation>Files that could not be removed: %1</translation>
    </message>
    <message>
        <source>无法创建录制目录: </source>
        <translation>Cannot create the recording folder: </translation>
    </message>
    <message>
        <source>正在录制画面...</source>
        <translation>Recording...</translation>
    </message>
    <message>
        <source>可点击停止按钮停止录制</source>
        <translation>Click Stop to end the recording</translation>
    </message>
    <message>
        <source>录制帧无法保存, 录制已停止: </source>
        <translation>A frame could not be saved; recording stopped: </translation>
    </message>
    <message>
        <source>采集完毕</source>
        <translation>Recorded</translation>
    </message>
    <message>
        <source>请点击转换按钮进行转换</source>
        <translation>Click Convert to convert the frames</translation>
    </message>
    <message>
        <source>打开视频出错，请先安装相应视频解码器.</source>
        <translation>The video could not be opened. Please install a decoder for it.</translation>
    </message>
    <message>
        <source>已装入电影文件</source>
        <translation>Video open</translation>
    </message>
    <message>
        <source>请点击录制按钮开始录制</source>
        <translation>Click Rec to start recording</translation>
    </message>
    <message>
        <source>正在播放</source>
        <translation>Playing</translation>
    </message>
    <message>
        <source>请点击录制按钮可开始录制</source>
        <translation>Click Rec to record</translation>
    </message>
    <message>
        <source>播放暂停</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>可点击播放按钮继续播放</source>
        <translation>Click Play to go on</translation>
    </message>
    <message>
        <source>已停止播放</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>请点击录制按钮进行录制</source>
        <translation>Click Rec to record</translation>
    </message>
    <message>
        <source>无法打开 %1,请手动打开。</source>
        <translation>Could not open %1. Please open it yourself.</translation>
    </message>
    <message>
        <source>灰度表中的字符“%1”无法用GBK编码保存,已保留原来的灰度表。</source>
        <translation>The character “%1” in the gray table cannot be saved in GBK; the previous gray table was kept.</translation>
    </message>
    <message>
        <source>录制目录正被另一个转换或录制使用,请等它结束后再试: </source>
        <translation>Another conversion or recording is using the recording folder; try again when it has finished: </translation>
    </message>
    <message>
        <source>请先选择转换图尺寸</source>
        <translation>Please choose a conversion size first</translation>
    </message>
    <message>
        <source>电影文件太大,无法读入内存: %1</source>
        <translation>The movie file is too large to load into memory: %1</translation>
    </message>
    <message>
        <source>无法录制: </source>
        <translation>Cannot record: </translation>
    </message>
    <message>
        <source>视频在%1处提前结束,只录制了%2帧(应为约%3帧)。</source>
        <translation>The video ended early at %1: only %2 frames were recorded (about %3 expected).</translation>
    </message>
    <message>
        <source>录制约需要%1磁盘空间,%2只剩%3。是否继续录制？</source>
        <translation>Recording needs about %1 of disk space, but %2 has only %3 left. Record anyway?</translation>
    </message>
    <message>
        <source>录制暂停</source>
        <translation>Rec paused</translation>
    </message>
    <message>
        <source>可点击播放按钮继续录制</source>
        <translation>Click Play to go on recording</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>磁盘是只读的</source>
        <translation>the disk is read-only</translation>
    </message>
    <message>
        <source>超出磁盘配额</source>
        <translation>the disk quota is used up</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>读写出错</source>
        <translation>a read or write error on the disk</translation>
    </message>
    <message>
        <source>电影文件</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>所有文件</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>Help.txt</source>
        <translation>Help_en.txt</translation>
    </message>
    <message>
        <source>正在录制,确定要退出吗？</source>
        <translation>A recording is running. Quit anyway?</translation>
    </message>
    <message>
        <source>正在导出视频,确定要退出吗？</source>
        <translation>A video is being exported. Quit anyway?</translation>
    </message>
</context>
<context>
    <name>VideoExporter</name>
    <message>
        <source>导出为视频…</source>
        <translation>Export as Video…</translation>
    </message>
    <message>
        <source>取消导出视频</source>
        <translation>Cancel Video Export</translation>
    </message>
    <message>
        <source>正在导出视频…</source>
        <translation>Exporting video…</translation>
    </message>
    <message>
        <source>画面过大,字体大小改用 %1</source>
        <translation>The picture is too large; using font size %1</translation>
    </message>
    <message>
        <source>视频没有声音</source>
        <translation>The video has no sound</translation>
    </message>
    <message>
        <source>导出失败: %1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>导出完毕: %1。是否打开所在文件夹？</source>
        <translation>Exported: %1. Open the folder that holds it?</translation>
    </message>
    <message>
        <source>已取消导出视频</source>
        <translation>Video export cancelled</translation>
    </message>
    <message>
        <source>视频在 %1 结束,早于字符电影;此后沿用其最后画面的颜色</source>
        <translation>The video ends at %1, before the movie; its last picture&apos;s colours are used from there</translation>
    </message>
    <message>
        <source>导出 %p%</source>
        <translation>Export %p%</translation>
    </message>
    <message>
        <source>内存不足,无法复制字符电影</source>
        <translation>not enough memory to copy the character movie</translation>
    </message>
</context>
<context>
    <name>gbk</name>
    <message>
        <source>字符“%1”(U+%2) 没有 GBK 编码，不能使用</source>
        <translation>The character “%1” (U+%2) has no GBK code and cannot be used</translation>
    </message>
</context>
</TS>
