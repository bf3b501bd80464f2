-- Runs once when the start screen's map is read, with the level.
local level = ...
local camera = GetCamera()
if camera then
    -- The map is 960 x 544 units, its top-left corner at (0, 0).
    camera:SetPosition(480, -272)
end
