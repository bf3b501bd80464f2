-- Runs every frame in the playground: the controls, over the top wall.
DrawText(60, -30, "Left/Right: move   Up or Space: jump   Esc: pause")
