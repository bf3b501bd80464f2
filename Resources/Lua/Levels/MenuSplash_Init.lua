-- Runs once when the start screen's map is read, with the level.
local level = ...
local camera = GetCamera()
if camera then
    -- The map is 960 x 544 units, its top-left corner at (0, 0).
    camera:SetPosition(480, -272)
end

-- The start menu belongs to this level: the level change deletes it.
-- Mouse: click a button. Keyboard: Enter plays, Q quits. Pads: A or Start
-- plays, B quits.
local menu = Menu:new()
menu:GetPanel():SetName("StartMenu")
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
