-- Runs once when the start screen's map is read, with the level.
local level = ...
-- The map is 960 x 544 units: the camera fits its width to the screen.
FitCameraToMap(960, 544)

-- The start menu belongs to this level: the level change deletes it.
-- Mouse: click a button. Keyboard: Enter plays, Q quits. Pads: A or Start
-- plays, B quits. GUI sizes are in thousandths of the screen, fonts in
-- pixels: the title fits its plate from 1024 x 768 up.
local menu = Menu:new()
menu:GetPanel():SetName("StartMenu")
MakePlate(menu, 500, 330, 300, 500, 3)
MakeText(menu, 500, 330, 190, 480, 88, "Tazzle")
local play = MakeMenuButton(menu, 500, 640, "Play")
play:SetCommand("level GenericTileLevel 01_Playground.tmx")
play:SetActionKey("MenuPlay")
local quit = MakeMenuButton(menu, 500, 760, "Quit")
quit:SetCommand("level QUIT_GAME")
quit:SetActionKey("MenuQuit")
BindActionToKey("MenuPlay", 257, 0)
BindActionToKey("MenuQuit", 81, 0)
for player = 0, 3 do
    BindActionToKey("MenuPlay", 410, player)
    BindActionToKey("MenuPlay", 404, player)
    BindActionToKey("MenuQuit", 411, player)
end
print("Start menu ready")
